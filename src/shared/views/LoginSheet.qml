import QtQuick
import Keyvane.Views
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The login sheet: one pane for the state's display state, a toolbar, and the state's alert.
// Its host shows it in a Loader: becoming active starts token monitoring, inactive stops it.
FocusScope {
    id: root
    objectName: "loginSheet"
    required property LoginSheetModel model
    implicitWidth: 416
    implicitHeight: 395
    focus: true

    Component.onCompleted: model.appeared()
    Component.onDestruction: model.disappeared()

    Keys.onEscapePressed: model.alertShown ? model.alertEscapePressed() : model.cancel()
    Keys.onReturnPressed: event => { if (model.alertShown) model.alertReturnPressed(); else event.accepted = false; }
    Keys.onEnterPressed: event => { if (model.alertShown) model.alertReturnPressed(); else event.accepted = false; }

    Rectangle { anchors.fill: parent; color: Theme.background }

    Loader {
        id: pane
        objectName: "paneLoader"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: toolbar.visible ? toolbar.top : parent.bottom
        // Behind the alert the pane takes neither the keyboard nor Tab.
        focus: !root.model.alertShown
        enabled: !root.model.alertShown
        // A new key (another pane, or the same pane for another token) builds the pane anew.
        property string key: root.model.paneKey
        onKeyChanged: { active = false; active = true; }
        sourceComponent: {
            switch (root.model.pane) {
            case LoginSheetModel.WaitForSpecificToken: return tokenWait;
            case LoginSheetModel.TokenList: return tokenList;
            case LoginSheetModel.EnterPin: return pin;
            case LoginSheetModel.EnterMasterPassword: return masterPassword;
            case LoginSheetModel.WaitForTouch: return touch;
            default: return noToken;
            }
        }
    }

    Component { id: noToken; Item { NoTokenPane { objectName: "noTokenPane"; anchors.centerIn: parent; width: parent.width } } }
    Component { id: tokenList; TokenListPane { objectName: "tokenListPane"; sheet: root.model } }
    Component { id: tokenWait; TokenWaitPane { objectName: "tokenWaitPane"; sheet: root.model } }
    Component { id: pin; PinPane { objectName: "pinPane"; sheet: root.model } }
    Component { id: masterPassword; MasterPasswordPane { objectName: "masterPasswordPane"; sheet: root.model } }
    Component {
        id: touch
        Item {
            objectName: "touchPane"
            WaitForTouchView {
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                anchors.topMargin: 32
                anchors.bottomMargin: 32
                countdown: root.model.countdown
            }
            CloseButton {
                objectName: "touchCloseButton"
                x: 16
                y: 16
                focus: true
                onClicked: root.model.cancel()
            }
        }
    }

    RowLayout {
        id: toolbar
        objectName: "toolbar"
        visible: root.model.toolbarVisible
        enabled: !root.model.alertShown
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 12
        height: 40
        Button {
            id: switchButton
            objectName: "switchToPinButton"
            visible: root.model.switchToPinVisible
            text: Texts.text("EnterGrandPass_SwitchToPinButton_Label")
            Accessible.name: text
            font.family: Theme.fontFamily
            font.pixelSize: 13
            onClicked: root.model.switchToPin()
            background: Rectangle {
                radius: height / 2
                implicitHeight: 32
                color: Theme.fill
                border.width: switchButton.visualFocus ? 2 : 0
                border.color: Theme.focusRing
            }
            contentItem: PlainLabel { text: switchButton.text; font: switchButton.font; color: Theme.primaryText; horizontalAlignment: Text.AlignHCenter; verticalAlignment: Text.AlignVCenter }
        }
        Item { Layout.fillWidth: true }
        Button {
            id: cancelButton
            objectName: "cancelButton"
            text: Texts.text("SheetView_CancelButton_Label")
            Accessible.name: text
            font.family: Theme.fontFamily
            font.pixelSize: 13
            leftPadding: 16
            rightPadding: 16
            onClicked: root.model.cancel()
            background: Rectangle {
                radius: height / 2
                implicitHeight: 32
                color: Theme.fill
                border.width: cancelButton.visualFocus ? 2 : 0
                border.color: Theme.focusRing
            }
            contentItem: PlainLabel { text: cancelButton.text; font: cancelButton.font; color: Theme.primaryText; horizontalAlignment: Text.AlignHCenter; verticalAlignment: Text.AlignVCenter }
        }
    }

    AlertOverlay {
        anchors.fill: parent
        shown: root.model.alertShown
        title: root.model.alertTitle
        message: root.model.alertMessage
        buttons: root.model.alertButtons
        onPressed: index => root.model.pressAlertButton(index)
    }
}
