import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Layouts

// The login sheet: one pane for the state's display state, a toolbar, and the state's alert
// (the sheet routes Return and Escape to it while it shows).
// Its host shows it in a Loader: becoming active starts token monitoring, inactive stops it.
Sheet {
    id: root
    objectName: "loginSheet"
    required property LoginSheetModel model
    implicitWidth: 416
    implicitHeight: 395
    focus: true
    alerts: model
    onCancelled: model.cancel()

    Component.onCompleted: model.appeared()
    Component.onDestruction: model.disappeared()

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
                anchors.topMargin: Spacing.xxl
                anchors.bottomMargin: Spacing.xxl
                countdown: root.model.countdown
            }
            CloseButton {
                objectName: "touchCloseButton"
                x: Spacing.m
                y: Spacing.m
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
        anchors.margins: Spacing.s
        height: 40
        PushButton {
            objectName: "switchToPinButton"
            visible: root.model.switchToPinVisible
            text: Texts.text("EnterGrandPass_SwitchToPinButton_Label")
            onClicked: root.model.switchToPin()
        }
        Item { Layout.fillWidth: true }
        PushButton {
            objectName: "cancelButton"
            text: Texts.text("SheetView_CancelButton_Label")
            onClicked: root.model.cancel()
        }
    }
}
