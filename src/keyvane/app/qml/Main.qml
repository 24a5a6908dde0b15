import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Window
import Keyvane.Views

ApplicationWindow {
    id: window
    width: 640
    height: 560
    visible: true
    title: Texts.text("AppName")
    color: Theme.background
    Component.onCompleted: if (uiTesting) Theme.appearance = Theme.Light

    menuBar: MenuBar {
        Menu {
            title: Texts.text("AppName")
            MenuItem {
                objectName: "masterPasswordMenuItem"
                text: Texts.text("PasskeysScreen_MoreButton_Menu_GrandPass_Label")
                onTriggered: mainWindow.openMasterPasswordSettings()
            }
        }
    }

    MacMainView {
        anchors.fill: parent
        enabled: !mainWindow.loginSheetShown && !mainWindow.settingsShown && !extensionConfirmation.asking
        focus: enabled
    }

    // Ctrl+M opens the master-password settings from the keyboard.
    Shortcut {
        sequence: "Ctrl+M"
        enabled: !mainWindow.loginSheetShown && !mainWindow.settingsShown
        onActivated: mainWindow.openMasterPasswordSettings()
    }
    Rectangle {
        anchors.fill: parent
        visible: settingsLoader.active
        color: Theme.scrim
        MouseArea { anchors.fill: parent }
    }
    Loader {
        id: settingsLoader
        objectName: "settingsSheetLoader"
        anchors.centerIn: parent
        width: 464
        height: 512
        active: mainWindow.settingsShown
        focus: active
        sourceComponent: MasterPasswordSettingsSheet {
            model: mainWindow.settingsSheet
        }
    }

    // The login sheet, over the window while the state asks for a login. The Loader becoming
    // active and inactive is the sheet appearing and disappearing (monitoring starts and stops).
    Rectangle {
        anchors.fill: parent
        visible: loginLoader.active
        color: Theme.scrim
        MouseArea { anchors.fill: parent }
    }
    Loader {
        id: loginLoader
        objectName: "loginSheetLoader"
        anchors.centerIn: parent
        width: 416
        height: 395
        active: mainWindow.loginSheetShown
        focus: active
        sourceComponent: LoginSheet {
            model: mainWindow.loginSheet
        }
    }

    // Turning the extension on: the waiting middleware receives the answer; closing the dialog
    // (Escape) refuses.
    AlertOverlay {
        objectName: "extensionConfirmation"
        anchors.fill: parent
        focus: shown
        shown: extensionConfirmation.asking
        title: Texts.text("ExtensionTurnOn_Confirmation_Title")
        message: Texts.text("ExtensionTurnOn_Confirmation_Description")
        buttons: [
            { label: Texts.text("ExtensionTurnOn_Confirmation_AllowButton_Label"), identifier: "allow", isDefault: true },
            { label: Texts.text("Action_Cancel_Label"), identifier: "cancel", isDefault: false }
        ]
        onPressed: index => extensionConfirmation.answer(index === 0)
        Keys.onEscapePressed: extensionConfirmation.answer(false)
        Keys.onReturnPressed: extensionConfirmation.answer(true)
    }

    // Hidden: only its shortcut is used.
    Button {
        objectName: "resetPersistentDataButton"
        opacity: 0
        enabled: true
        width: 1
        height: 1
        action: Action {
            shortcut: "Ctrl+R"
            onTriggered: mainWindow.resetPersistentData()
        }
    }
}
