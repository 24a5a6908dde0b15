import QtQuick
import Keyvane.Views
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The state's alert over the sheet, with its buttons in order. Return presses the default
// button and Escape the cancelling one (the sheet routes both keys here while it shows).
// Given the keyboard, the overlay hands it to its default button; Tab walks the buttons, and
// Return or Space presses the one that has the keyboard, which is drawn as the default: a
// destructive button runs on Return only when it shows so.
Rectangle {
    id: overlay
    property bool shown
    property string title
    property string message
    property var buttons: []
    signal pressed(int index)
    // The button drawn as the default: the one with the keyboard, else the default one.
    property int focusedIndex: -1
    readonly property int prominentIndex: focusedIndex >= 0 ? focusedIndex : defaultIndex
    readonly property int defaultIndex: {
        for (let i = 0; i < buttons.length; ++i) {
            if (buttons[i].isDefault) return i;
        }
        return -1;
    }
    objectName: "alert"
    visible: shown
    color: Theme.scrim
    Accessible.role: Accessible.AlertMessage
    Accessible.name: title
    onActiveFocusChanged: if (activeFocus && defaultIndex >= 0) buttonRepeater.itemAt(defaultIndex).forceActiveFocus()

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
                id: buttonRepeater
                model: overlay.buttons
                Button {
                    id: alertButton
                    required property var modelData
                    required property int index
                    readonly property bool prominent: overlay.prominentIndex === index
                    objectName: "alertButton_" + modelData.identifier
                    Layout.fillWidth: true
                    Layout.topMargin: index === 0 ? 6 : 0
                    text: modelData.label
                    Accessible.name: text
                    font.family: Theme.fontFamily
                    font.pixelSize: 13
                    onClicked: overlay.pressed(index)
                    Keys.onReturnPressed: clicked()
                    Keys.onEnterPressed: clicked()
                    onActiveFocusChanged: {
                        if (activeFocus) overlay.focusedIndex = index;
                        else if (overlay.focusedIndex === index) overlay.focusedIndex = -1;
                    }
                    contentItem: PlainLabel {
                        text: alertButton.text
                        font: alertButton.font
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                        color: alertButton.prominent
                            ? (alertButton.modelData.isDestructive ? Theme.textOnDestructive : Theme.textOnAccent)
                            : (alertButton.modelData.isDestructive ? Theme.red : Theme.primaryText)
                    }
                    background: Rectangle {
                        radius: 8
                        implicitHeight: 32
                        color: alertButton.prominent ? (alertButton.modelData.isDestructive ? Theme.red : Theme.accent) : Theme.fill
                        border.width: alertButton.visualFocus ? 2 : 0
                        border.color: Theme.primaryText
                    }
                }
            }
        }
    }
}
