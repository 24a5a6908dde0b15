import QtQuick
import Keyvane.Views
import QtQuick.Controls.Basic

// A toolbar button drawn as a symbol (tinted for the appearance) or as a short text.
Button {
    id: control
    property string symbol
    property string spokenName
    implicitHeight: 30
    implicitWidth: symbol !== "" && text === "" ? 36 : implicitContentWidth + 28
    display: symbol !== "" && text === "" ? AbstractButton.IconOnly : AbstractButton.TextOnly
    icon.source: symbol
    icon.width: 18
    icon.height: 18
    icon.color: Theme.primaryText
    font.family: Theme.fontFamily
    font.pixelSize: 13
    Accessible.name: spokenName !== "" ? spokenName : text
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()
    palette.buttonText: Theme.primaryText
    background: Rectangle {
        radius: 7
        color: control.down ? Theme.fill : (control.hovered ? Theme.fill : "transparent")
        border.width: control.visualFocus ? 2 : 0
        border.color: Theme.focusRing
    }
}
