import QtQuick
import Keyvane.Style

// A sheet: its background, what it holds, and over everything the alert of its view model.
// The keys are routed here once for every sheet: while the alert shows, Return (or Enter)
// and Escape answer it; otherwise Escape cancels the sheet, and Return accepts it where the
// sheet says so, else goes on to whatever holds the sheet (a focused control has taken it
// first).
FocusScope {
    id: sheet
    // The view model whose alert the sheet shows: alertShown, alertTitle, alertMessage and
    // alertButtons, with pressAlertButton(index), alertReturnPressed() and
    // alertEscapePressed() (every sheet's model is such an alert presenter).
    property var alerts: null
    readonly property bool alertShown: alerts !== null && alerts.alertShown
    // Whether Return accepts the sheet (accepted) while no alert shows.
    property bool acceptsReturn: false
    property alias color: backdrop.color
    property alias radius: backdrop.radius
    default property alias content: body.data
    signal cancelled()
    signal accepted()

    function pressReturn(event) {
        if (alertShown) alerts.alertReturnPressed();
        else if (acceptsReturn) accepted();
        else event.accepted = false;
    }
    Keys.onEscapePressed: alertShown ? alerts.alertEscapePressed() : cancelled()
    Keys.onReturnPressed: event => pressReturn(event)
    Keys.onEnterPressed: event => pressReturn(event)

    Rectangle {
        id: backdrop
        anchors.fill: parent
        color: Theme.background
    }
    Item {
        id: body
        anchors.fill: parent
    }
    // Made only for a sheet whose model has alerts.
    Loader {
        anchors.fill: parent
        active: sheet.alerts !== null
        sourceComponent: AlertOverlay {
            shown: sheet.alertShown
            title: sheet.alerts.alertTitle
            message: sheet.alerts.alertMessage
            buttons: sheet.alerts.alertButtons
            onPressed: index => sheet.alerts.pressAlertButton(index)
        }
    }
}
