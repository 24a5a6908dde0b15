import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Layouts

// Shown while no token is connected.
ColumnLayout {
    spacing: Spacing.xs
    PlainLabel {
        objectName: "noTokenTitle"
        Layout.fillWidth: true
        Layout.leftMargin: Spacing.m
        Layout.rightMargin: Spacing.m
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: Texts.text("ChooseVarnel_EmptyView_Title")
        font.pixelSize: TypeScale.title
        font.bold: true
        color: Theme.secondaryText
    }
    PlainLabel {
        objectName: "noTokenDescription"
        Layout.fillWidth: true
        Layout.leftMargin: Spacing.m
        Layout.rightMargin: Spacing.m
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: Texts.text("ChooseVarnel_EmptyView_Description")
        color: Theme.secondaryText
    }
}
