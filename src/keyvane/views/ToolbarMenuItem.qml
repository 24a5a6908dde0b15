import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Controls.Basic
import QtQuick.Layouts

// An entry of the toolbar's menu: a symbol and a label in the window's colours; the entry
// under the pointer or the keyboard lies on the accent fill in white.
MenuItem {
    id: entry
    property url symbol
    implicitHeight: Spacing.regularHeight
    leftPadding: 10
    rightPadding: Spacing.m
    Accessible.name: text
    contentItem: RowLayout {
        spacing: 10
        Symbol {
            Layout.preferredWidth: 16
            Layout.preferredHeight: 16
            source: entry.symbol
            sourceSize.width: 32
            sourceSize.height: 32
            color: entry.highlighted ? Theme.textOnAccent : Theme.primaryText
        }
        PlainLabel {
            objectName: "menuItemLabel"
            Layout.fillWidth: true
            text: entry.text
            elide: Text.ElideRight
            color: entry.highlighted ? Theme.textOnAccent : Theme.primaryText
        }
    }
    background: Rectangle {
        implicitWidth: 230
        radius: 5
        color: entry.highlighted ? Theme.accent : "transparent"
    }
}
