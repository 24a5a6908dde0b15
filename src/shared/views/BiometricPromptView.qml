import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Layouts

// What the fingerprint check shows while it waits for a finger: a fingertip, the call to touch
// the sensor, the check's reason, and Cancel, which stops the check. Escape cancels too.
Sheet {
    id: view
    objectName: "biometricPrompt"
    required property BiometricPromptModel prompt
    implicitWidth: 320
    implicitHeight: 240
    focus: true
    Accessible.role: Accessible.Dialog
    Accessible.name: title.text

    onCancelled: view.prompt.cancel()

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Spacing.l
        spacing: Spacing.xs

        Image {
            objectName: "biometricPromptFingerprint"
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 56
            Layout.preferredHeight: 56
            source: "images/fingerprint.svg"
            sourceSize.width: 112
            sourceSize.height: 112
            // Breathes slowly, so the window reads as waiting for the finger.
            SequentialAnimation on opacity {
                loops: Animation.Infinite
                NumberAnimation { from: 1; to: 0.55; duration: 900; easing.type: Easing.InOutQuad }
                NumberAnimation { to: 1; duration: 900; easing.type: Easing.InOutQuad }
            }
        }
        PlainLabel {
            id: title
            objectName: "biometricPromptTitle"
            Layout.fillWidth: true
            Layout.topMargin: Spacing.xxs
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: Texts.text("BiometricPrompt_Title")
            font.pixelSize: TypeScale.title
            font.bold: true
        }
        PlainLabel {
            objectName: "biometricPromptReason"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            maximumLineCount: 3
            elide: Text.ElideRight
            text: view.prompt.reason
            Accessible.name: text
            color: Theme.secondaryText
        }
        Item { Layout.fillHeight: true }
        PushButton {
            objectName: "biometricPromptCancelButton"
            Layout.alignment: Qt.AlignHCenter
            focus: true
            text: Texts.text("SheetView_CancelButton_Label")
            leftPadding: Spacing.l
            rightPadding: Spacing.l
            onClicked: view.prompt.cancel()
        }
    }
}
