import QtQuick
import Keyvane.Views
import Keyvane.MainWindow
import QtQuick.Controls.Basic
import QtQuick.Layouts

// What the computer knows of the chosen token, and the button that deletes it from the
// computer (after a confirmation the window shows).
ColumnLayout {
    id: root
    required property TokenDetailsModel model
    objectName: "token_info"
    spacing: 8
    Accessible.role: Accessible.Grouping
    Accessible.name: Texts.text("AboutDeviceInfo_Title")

    // A key on the left and its value on the right, 16 high; both are cut at their tail.
    component InfoRow: Item {
        id: infoRow
        property string key
        property string value
        Layout.fillWidth: true
        implicitHeight: 16
        Accessible.role: Accessible.StaticText
        Accessible.name: key + " " + value
        PlainLabel {
            id: keyLabel
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, parent.width * 0.45)
            text: infoRow.key
            font.family: Theme.fontFamily
            font.pixelSize: 13
            color: Theme.secondaryText
            elide: Text.ElideRight
        }
        PlainLabel {
            objectName: "value"
            anchors.left: keyLabel.right
            anchors.leftMargin: 8
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            text: infoRow.value
            font.family: Theme.fontFamily
            font.pixelSize: 13
            color: Theme.primaryText
            elide: Text.ElideRight
            horizontalAlignment: Text.AlignRight
        }
    }

    Rectangle { Layout.fillWidth: true; Layout.preferredHeight: 1; color: Theme.separator }

    Rectangle {
        Layout.fillWidth: true
        Layout.leftMargin: 9
        Layout.rightMargin: 9
        Layout.bottomMargin: 9
        implicitHeight: box.implicitHeight + 24
        radius: 12
        color: Theme.fill
        ColumnLayout {
            id: box
            anchors.fill: parent
            anchors.leftMargin: 16
            anchors.rightMargin: 16
            anchors.topMargin: 12
            anchors.bottomMargin: 12
            spacing: 8
            PlainLabel {
                Layout.bottomMargin: 4
                text: Texts.text("AboutDeviceInfo_Title")
                font.family: Theme.fontFamily
                font.pixelSize: 13
                font.bold: true
                color: Theme.primaryText
            }
            InfoRow { objectName: "tokenModelRow"; key: Texts.text("AboutDeviceInfo_Model_Key"); value: root.model.tokenModel }
            InfoRow { objectName: "tokenNameRow"; key: Texts.text("AboutDeviceInfo_Name_Key"); value: root.model.name }
            InfoRow { objectName: "tokenSerialRow"; key: Texts.text("AboutDeviceInfo_SerialNumber_Key"); value: root.model.serial }
            InfoRow {
                objectName: "freeMemoryRow"
                visible: root.model.freeMemoryShown
                key: Texts.text("AboutDeviceInfo_FreeMemory_Key")
                value: root.model.freeMemory
            }
            Rectangle {
                Layout.fillWidth: true
                Layout.topMargin: 4
                Layout.bottomMargin: 4
                Layout.preferredHeight: 1
                color: Theme.separator
            }
            Button {
                id: deleteButton
                objectName: "deleteTokenButton"
                Layout.fillWidth: true
                text: Texts.text("AboutDeviceInfo_DeleteButton_Label")
                Accessible.name: text
                font.family: Theme.fontFamily
                font.pixelSize: 13
                font.weight: Font.Medium
                onClicked: root.model.deletePressed()
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()
                contentItem: PlainLabel {
                    text: deleteButton.text
                    font: deleteButton.font
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    color: Theme.red
                }
                background: Rectangle {
                    implicitHeight: 28
                    radius: height / 2
                    color: deleteButton.down ? Theme.separator : Theme.card
                    border.width: deleteButton.visualFocus ? 2 : 1
                    border.color: deleteButton.visualFocus ? Theme.focusRing : Theme.separator
                }
            }
        }
    }
}
