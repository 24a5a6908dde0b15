import QtQuick
import Keyvane.Views
import QtQuick.Layouts

// Shown while no token is connected.
ColumnLayout {
    spacing: 8
    PlainLabel {
        objectName: "noTokenTitle"
        Layout.fillWidth: true
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: Texts.text("ChooseVarnel_EmptyView_Title")
        font.family: Theme.fontFamily
        font.pixelSize: 17
        font.bold: true
        color: Theme.secondaryText
    }
    PlainLabel {
        objectName: "noTokenDescription"
        Layout.fillWidth: true
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: Texts.text("ChooseVarnel_EmptyView_Description")
        font.family: Theme.fontFamily
        font.pixelSize: 13
        color: Theme.secondaryText
    }
}
