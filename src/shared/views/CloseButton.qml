import QtQuick
import Keyvane.Views
import QtQuick.Controls.Basic

// The round close button of the sheets, 28 pixels: a grey cross on a faint disc, drawn here
// so that both follow the theme and stay sharp at any scale.
AbstractButton {
    id: control
    implicitWidth: 28
    implicitHeight: 28
    Accessible.role: Accessible.Button
    Accessible.name: Texts.text("SheetView_CancelButton_Label")
    contentItem: Item {
        opacity: control.pressed ? 0.6 : 1
        Repeater {
            model: [45, -45]
            Rectangle {
                required property int modelData
                objectName: "closeButtonStroke"
                anchors.centerIn: parent
                width: 12
                height: 2.4
                radius: 1.2
                rotation: modelData
                antialiasing: true
                color: Theme.secondaryText
            }
        }
    }
    background: Rectangle {
        objectName: "closeButtonDisc"
        radius: width / 2
        color: Theme.fill
        border.width: control.visualFocus ? 2 : 0
        border.color: Theme.focusRing
    }
}
