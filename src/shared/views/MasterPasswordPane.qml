import QtQuick
import Keyvane.Views
import QtQuick.Layouts

// Unlocks the cached PIN with the master password (or biometry, when the state says so).
ColumnLayout {
    id: pane
    required property LoginSheetModel sheet
    spacing: 24

    Item { Layout.fillHeight: true }
    PlainLabel {
        objectName: "connectionMessage"
        Layout.alignment: Qt.AlignHCenter
        Layout.maximumWidth: 256
        Layout.topMargin: 16
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: pane.sheet.connectionMessage
        font.family: Theme.fontFamily
        font.pixelSize: 13
        color: Theme.secondaryText
    }
    MasterPassInputField {
        objectName: "masterPassInput"
        Layout.alignment: Qt.AlignHCenter
        focus: true
        input: pane.sheet.masterPassInput
    }
    Item { Layout.fillHeight: true }
}
