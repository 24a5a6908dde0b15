import QtQuick
import QtQuick.Layouts
import Keyvane.Style

// An alert over a view, with its buttons in order (each a map: label, identifier, isDefault,
// isDestructive). Return presses the default button and Escape the cancelling one (the
// sheet routes both keys here while it shows). Given the keyboard, the overlay hands it to
// its default button; Tab walks the buttons, and Return or Space presses the one that has
// the keyboard, which is drawn as the default: a destructive button runs on Return only when
// it shows so.
Scrim {
    id: overlay
    property bool shown
    property string title
    property string message
    property var buttons: []
    signal pressed(int index)
    // The button drawn as the default: the one with the keyboard, else the default one.
    property int focusedIndex: -1
    readonly property int prominentIndex: focusedIndex >= 0 ? focusedIndex : defaultIndex
    readonly property int defaultIndex: {
        for (let i = 0; i < buttons.length; ++i) {
            if (buttons[i].isDefault) return i;
        }
        return -1;
    }
    objectName: "alert"
    visible: shown
    Accessible.role: Accessible.AlertMessage
    Accessible.name: title
    onActiveFocusChanged: if (activeFocus && defaultIndex >= 0) buttonRepeater.itemAt(defaultIndex).forceActiveFocus()

    Rectangle {
        anchors.centerIn: parent
        width: 280
        height: content.implicitHeight + 2 * Spacing.l
        radius: Spacing.corner
        color: Theme.card
        ColumnLayout {
            id: content
            anchors.fill: parent
            anchors.margins: Spacing.l
            spacing: 10
            PlainLabel {
                objectName: "alertTitle"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: overlay.title
                font.pixelSize: TypeScale.headline
                font.bold: true
            }
            PlainLabel {
                objectName: "alertMessage"
                visible: text !== ""
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: overlay.message
            }
            Repeater {
                id: buttonRepeater
                model: overlay.buttons
                PushButton {
                    required property var modelData
                    required property int index
                    // Drawn as the default: the one Return presses.
                    readonly property bool prominent: overlay.prominentIndex === index
                    objectName: "alertButton_" + modelData.identifier
                    Layout.fillWidth: true
                    Layout.topMargin: index === 0 ? 6 : 0
                    text: modelData.label
                    capsule: false
                    kind: prominent ? PushButton.Prominent : PushButton.Plain
                    destructive: modelData.isDestructive === true
                    onClicked: overlay.pressed(index)
                    onActiveFocusChanged: {
                        if (activeFocus) overlay.focusedIndex = index;
                        else if (overlay.focusedIndex === index) overlay.focusedIndex = -1;
                    }
                }
            }
        }
    }
}
