import QtQuick
import Keyvane.Views
import QtQuick.Controls.Basic
import QtQuick.Layouts

// Asks for the token's PIN. The PIN is kept by the view model from the first keystroke: each
// edit of the field goes to it, and it sets the field back to placeholders shown as password
// dots. Return and Continue send the PIN and empty the field.
ColumnLayout {
    id: pane
    required property LoginSheetModel sheet
    spacing: 24

    Item { Layout.fillHeight: true }
    PlainLabel {
        objectName: "connectionMessage"
        Layout.alignment: Qt.AlignHCenter
        Layout.preferredWidth: 256
        Layout.maximumWidth: 256
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: pane.sheet.connectionMessage
        font.family: Theme.fontFamily
        font.pixelSize: 13
        color: Theme.secondaryText
    }
    ColumnLayout {
        Layout.alignment: Qt.AlignHCenter
        Layout.preferredWidth: 256
        Layout.maximumWidth: 256
        spacing: 8
        TextField {
            id: pinField
            objectName: "pinField"
            Layout.fillWidth: true
            Layout.preferredHeight: 36
            focus: true
            echoMode: TextInput.Password
            inputMethodHints: Qt.ImhHiddenText | Qt.ImhSensitiveData | Qt.ImhNoPredictiveText
            placeholderText: Texts.text("EnterPinCode_Input_Placeholder")
            placeholderTextColor: Theme.secondaryText
            color: Theme.primaryText
            font.family: Theme.fontFamily
            font.pixelSize: 13
            Accessible.name: Texts.text("EnterPinCode_Input_Placeholder")
            Accessible.passwordEdit: true
            KeyNavigation.tab: continueButton
            onTextChanged: pane.sheet.pinEdited(pinField)
            onAccepted: pane.sheet.submitPin(pinField)
            background: Rectangle {
                radius: 10
                color: Theme.card
                border.width: pinField.activeFocus ? 1.5 : 0.6
                border.color: pinField.activeFocus ? Theme.focusRing : Qt.rgba(Theme.primaryText.r, Theme.primaryText.g, Theme.primaryText.b, 0.08)
            }
        }
        PlainLabel {
            objectName: "pinError"
            visible: text !== ""
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: pane.sheet.pinError
            font.family: Theme.fontFamily
            font.pixelSize: 11
            color: Theme.error
        }
    }
    Button {
        id: continueButton
        objectName: "continueButton"
        Layout.alignment: Qt.AlignHCenter
        enabled: !pane.sheet.loginInProgress
        text: Texts.text("EnterPinCode_ContinueButton_Label")
        Accessible.name: text
        font.family: Theme.fontFamily
        font.pixelSize: 15
        font.weight: Font.Medium
        padding: 12
        leftPadding: 28
        rightPadding: 28
        onClicked: pane.sheet.submitPin(pinField)
        Keys.onReturnPressed: clicked()
        Keys.onEnterPressed: clicked()
        contentItem: PlainLabel {
            text: continueButton.text
            font: continueButton.font
            color: Theme.textOnAccent
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            radius: 12
            color: continueButton.down ? Qt.darker(Theme.accent, 1.2) : Theme.accent
            opacity: continueButton.enabled ? 1 : 0.5
            border.width: continueButton.visualFocus ? 2 : 0
            border.color: Theme.primaryText
        }
    }
    Item { Layout.fillHeight: true }
}
