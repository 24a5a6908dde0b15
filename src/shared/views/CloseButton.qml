import QtQuick
import QtQuick.Controls.Basic
import Keyvane.Views
import Keyvane.Style

// The round close button of the sheets: a grey cross on a faint disc, drawn here so that it
// follows the theme and stays sharp at any scale. Return, Enter and Space press it.
AbstractButton {
    id: control
    implicitWidth: Spacing.compactHeight
    implicitHeight: Spacing.compactHeight
    Accessible.role: Accessible.Button
    Accessible.name: Texts.text("SheetView_CancelButton_Label")
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()
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
        FocusRing {
            shown: control.visualFocus
            radius: width / 2
        }
    }
}
