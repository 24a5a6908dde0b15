import QtQuick
import Keyvane.Views
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The state's alert over the sheet, with its buttons in order. Return presses the default
// button and Escape the cancelling one (the sheet routes both keys here while it shows).
Rectangle {
    id: overlay
    property bool shown
    property string title
    property string message
    property var buttons: []
    signal pressed(int index)
    objectName: "alert"
    visible: shown
    color: Theme.scrim
    Accessible.role: Accessible.AlertMessage
    Accessible.name: title

    // Clicks never reach the pane behind.
    MouseArea { anchors.fill: parent; acceptedButtons: Qt.AllButtons }

    Rectangle {
        anchors.centerIn: parent
        width: 280
        height: content.implicitHeight + 40
        radius: 14
        color: Theme.card
        ColumnLayout {
            id: content
            anchors.fill: parent
            anchors.margins: 20
            spacing: 10
            PlainLabel {
                objectName: "alertTitle"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: overlay.title
                font.family: Theme.fontFamily
                font.pixelSize: 15
                font.bold: true
                color: Theme.primaryText
            }
            PlainLabel {
                objectName: "alertMessage"
                visible: text !== ""
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: overlay.message
                font.family: Theme.fontFamily
                font.pixelSize: 13
                color: Theme.primaryText
            }
            Repeater {
                model: overlay.buttons
                Button {
                    id: alertButton
                    required property var modelData
                    required property int index
                    objectName: "alertButton_" + modelData.identifier
                    Layout.fillWidth: true
                    Layout.topMargin: index === 0 ? 6 : 0
                    text: modelData.label
                    Accessible.name: text
                    font.family: Theme.fontFamily
                    font.pixelSize: 13
                    onClicked: overlay.pressed(index)
                    contentItem: PlainLabel {
                        text: alertButton.text
                        font: alertButton.font
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                        color: alertButton.modelData.isDefault ? Theme.textOnAccent : (alertButton.modelData.isDestructive ? Theme.red : Theme.primaryText)
                    }
                    background: Rectangle {
                        radius: 8
                        implicitHeight: 32
                        color: alertButton.modelData.isDefault ? Theme.accent : Theme.fill
                        border.width: alertButton.visualFocus ? 2 : 0
                        border.color: Theme.primaryText
                    }
                }
            }
        }
    }
}
