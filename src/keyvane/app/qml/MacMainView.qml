import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Keyvane.Views

// A stand-in for the main window until it is built: the passkeys read from the tokens, and
// the button that opens the login sheet to read them.
Pane {
    id: root
    objectName: "macMainView"
    padding: 20
    background: Rectangle { color: Theme.background }

    ColumnLayout {
        anchors.fill: parent
        spacing: 14
        RowLayout {
            Layout.fillWidth: true
            Label {
                text: Texts.text("Passkeys_AllPasskeys_Name")
                font.family: Theme.fontFamily
                font.pixelSize: 22
                font.bold: true
                color: Theme.primaryText
            }
            Item { Layout.fillWidth: true }
            Button {
                id: syncButton
                objectName: "syncButton"
                text: Texts.text("PasskeysScreen_SyncButton_Label")
                Accessible.name: text
                focus: true
                onClicked: mainWindow.synchronise()
                Keys.onReturnPressed: clicked()
            }
        }
        ColumnLayout {
            visible: mainWindow.passkeys.length === 0
            Layout.fillWidth: true
            spacing: 6
            Label {
                objectName: "emptyTitle"
                text: Texts.text("PasskeysScreen_EmptyView_Title")
                font.family: Theme.fontFamily
                font.pixelSize: 17
                font.bold: true
                color: Theme.secondaryText
            }
            Label {
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                text: Texts.text("PasskeysScreen_EmptyView_Description")
                font.family: Theme.fontFamily
                font.pixelSize: 13
                color: Theme.secondaryText
            }
        }
        ListView {
            objectName: "passkeyList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: mainWindow.passkeys
            delegate: Label {
                required property string modelData
                text: modelData
                font.family: Theme.fontFamily
                font.pixelSize: 13
                color: Theme.primaryText
                padding: 6
            }
        }
    }
}
