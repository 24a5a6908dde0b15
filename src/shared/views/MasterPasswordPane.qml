import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Layouts

// Unlocks the cached PIN with the master password (or biometry, when the state says so).
ColumnLayout {
    id: pane
    required property LoginSheetModel sheet
    spacing: Spacing.xl

    Item { Layout.fillHeight: true }
    PlainLabel {
        objectName: "connectionMessage"
        Layout.alignment: Qt.AlignHCenter
        Layout.maximumWidth: 256
        Layout.topMargin: Spacing.m
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: pane.sheet.connectionMessage
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
