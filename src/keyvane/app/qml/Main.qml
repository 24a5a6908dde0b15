import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Window
import Keyvane.Views
import Keyvane.Style
import Keyvane.MainWindow

// The main window over the models the program's entry gives it.
ApplicationWindow {
    id: window
    required property MainWindowModel mainWindow
    required property WindowLayersModel windowLayers
    required property ConfirmationBridge extensionConfirmation
    // The user-interface test mode: the window is drawn light whatever the desktop's palette.
    required property bool uiTesting
    width: 1000
    height: 620
    minimumWidth: 900
    minimumHeight: 548
    visible: true
    title: Texts.text("AppName")
    color: Theme.background
    Component.onCompleted: if (uiTesting) Theme.appearance = Theme.Light

    MacMainView {
        anchors.fill: parent
        model: window.mainWindow
        layers: window.windowLayers
        enabled: !window.extensionConfirmation.asking
        focus: enabled
    }

    // Turning the extension on: the waiting middleware receives the answer; closing the dialog
    // (Escape) refuses. Made only while it asks.
    Loader {
        anchors.fill: parent
        active: window.extensionConfirmation.asking
        focus: active
        sourceComponent: AlertOverlay {
            objectName: "extensionConfirmation"
            focus: true
            shown: true
            title: Texts.text("ExtensionTurnOn_Confirmation_Title")
            message: Texts.text("ExtensionTurnOn_Confirmation_Description")
            buttons: [
                { label: Texts.text("ExtensionTurnOn_Confirmation_AllowButton_Label"), identifier: "allow", isDefault: true },
                { label: Texts.text("Action_Cancel_Label"), identifier: "cancel", isDefault: false }
            ]
            onPressed: index => window.extensionConfirmation.answer(index === 0)
            Keys.onEscapePressed: window.extensionConfirmation.answer(false)
            Keys.onReturnPressed: window.extensionConfirmation.answer(true)
        }
    }

    Shortcut {
        sequence: "Ctrl+R"
        onActivated: window.mainWindow.resetPersistentData()
    }
}
