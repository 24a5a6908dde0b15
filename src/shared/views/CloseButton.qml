import QtQuick
import Keyvane.Views
import QtQuick.Controls.Basic

// The round close button of the sheets, 28 pixels.
AbstractButton {
    id: control
    implicitWidth: 28
    implicitHeight: 28
    Accessible.role: Accessible.Button
    Accessible.name: Texts.text("SheetView_CancelButton_Label")
    contentItem: Image {
        source: "images/close.svg"
        sourceSize: Qt.size(control.width * 2, control.height * 2)
        opacity: control.pressed ? 0.6 : 1
    }
    background: Rectangle {
        radius: width / 2
        color: "transparent"
        border.width: control.visualFocus ? 2 : 0
        border.color: Theme.accent
    }
}
