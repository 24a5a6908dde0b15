import QtQuick
import QtQuick.Controls
import QtQuick.Window

ApplicationWindow {
    id: window
    width: 640
    height: 480
    visible: true
    title: "Keyvane"

    MacMainView {
        anchors.fill: parent
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
            onTriggered: appState.resetPersistentData()
        }
    }
}
