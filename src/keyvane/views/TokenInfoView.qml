import QtQuick
import Keyvane.Views
import Keyvane.Style
import Keyvane.MainWindow
import QtQuick.Controls.Basic
import QtQuick.Layouts

// What the computer knows of the chosen token, and the button that deletes it from the
// computer (after a confirmation the window shows).
ColumnLayout {
    id: root
    required property TokenDetailsModel model
    objectName: "token_info"
    spacing: Spacing.xs
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
            color: Theme.secondaryText
            elide: Text.ElideRight
        }
        PlainLabel {
            objectName: "value"
            anchors.left: keyLabel.right
            anchors.leftMargin: Spacing.xs
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            text: infoRow.value
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
        radius: Spacing.corner
        color: Theme.fill
        ColumnLayout {
            id: box
            anchors.fill: parent
            anchors.leftMargin: Spacing.m
            anchors.rightMargin: Spacing.m
            anchors.topMargin: Spacing.s
            anchors.bottomMargin: Spacing.s
            spacing: Spacing.xs
            PlainLabel {
                Layout.bottomMargin: Spacing.xxs
                text: Texts.text("AboutDeviceInfo_Title")
                font.bold: true
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
                Layout.topMargin: Spacing.xxs
                Layout.bottomMargin: Spacing.xxs
                Layout.preferredHeight: 1
                color: Theme.separator
            }
            PushButton {
                objectName: "deleteTokenButton"
                Layout.fillWidth: true
                kind: PushButton.Outlined
                size: PushButton.Compact
                destructive: true
                text: Texts.text("AboutDeviceInfo_DeleteButton_Label")
                onClicked: root.model.deletePressed()
            }
        }
    }
}
