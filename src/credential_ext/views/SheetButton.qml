import QtQuick
import Keyvane.Views
import QtQuick.Controls.Basic

// A capsule button of the extension's sheets: plain (a faint fill) or prominent (the accent),
// with an optional refresh mark before its text.
Button {
    id: control
    property bool prominent: false
    property bool refreshMark: false
    Accessible.name: text
    font.family: Theme.fontFamily
    font.pixelSize: 13
    font.weight: Font.Medium
    leftPadding: 16
    rightPadding: 16
    // The label stays centred however wide the button is made.
    contentItem: Item {
        implicitWidth: children[0].implicitWidth
        implicitHeight: children[0].implicitHeight
        Row {
            anchors.centerIn: parent
            spacing: 8
            opacity: control.prominent ? 1 : 0.85
            PlainLabel {
                visible: control.refreshMark
                anchors.verticalCenter: parent.verticalCenter
                text: "\u21bb"
                font.family: Theme.fontFamily
                font.pixelSize: 16
                color: control.prominent ? Theme.textOnAccent : Theme.primaryText
            }
            PlainLabel {
                anchors.verticalCenter: parent.verticalCenter
                text: control.text
                font: control.font
                color: control.prominent ? Theme.textOnAccent : Theme.primaryText
            }
        }
    }
    background: Rectangle {
        implicitHeight: control.prominent ? 40 : 30
        radius: height / 2
        color: control.prominent ? Theme.accent : Theme.fill
        opacity: control.pressed ? 0.75 : 1
        border.width: control.visualFocus ? 2 : 0
        border.color: control.prominent ? Theme.primaryText : Theme.focusRing
    }
}
