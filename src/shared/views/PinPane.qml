import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Layouts

// Asks for the token's PIN. The PIN is kept by the view model from the first keystroke: each
// edit of the field goes to it, and it sets the field back to placeholders shown as password
// dots. Return and Continue send the PIN and empty the field.
ColumnLayout {
    id: pane
    required property LoginSheetModel sheet
    spacing: Spacing.xl

    Item { Layout.fillHeight: true }
    PlainLabel {
        objectName: "connectionMessage"
        Layout.alignment: Qt.AlignHCenter
        Layout.preferredWidth: 256
        Layout.maximumWidth: 256
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: pane.sheet.connectionMessage
        color: Theme.secondaryText
    }
    ColumnLayout {
        Layout.alignment: Qt.AlignHCenter
        Layout.preferredWidth: 256
        Layout.maximumWidth: 256
        spacing: Spacing.xs
        InputField {
            id: pinField
            objectName: "pinField"
            Layout.fillWidth: true
            Layout.preferredHeight: Spacing.tallHeight
            focus: true
            echoMode: TextInput.Password
            inputMethodHints: Qt.ImhHiddenText | Qt.ImhSensitiveData | Qt.ImhNoPredictiveText
            placeholderText: Texts.text("EnterPinCode_Input_Placeholder")
            Accessible.name: Texts.text("EnterPinCode_Input_Placeholder")
            Accessible.passwordEdit: true
            KeyNavigation.tab: continueButton
            onTextChanged: pane.sheet.pinEdited(pinField)
            onAccepted: pane.sheet.submitPin(pinField)
        }
        PlainLabel {
            objectName: "pinError"
            visible: text !== ""
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: pane.sheet.pinError
            font.pixelSize: TypeScale.footnote
            color: Theme.error
        }
    }
    PushButton {
        id: continueButton
        objectName: "continueButton"
        Layout.alignment: Qt.AlignHCenter
        kind: PushButton.Prominent
        size: PushButton.Large
        enabled: !pane.sheet.loginInProgress
        text: Texts.text("EnterPinCode_ContinueButton_Label")
        font.pixelSize: TypeScale.headline
        leftPadding: Spacing.xl
        rightPadding: Spacing.xl
        onClicked: pane.sheet.submitPin(pinField)
    }
    Item { Layout.fillHeight: true }
}
