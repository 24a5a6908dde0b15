import QtQuick
import Keyvane.Views
import QtQuick.Controls.Basic
import QtQuick.Layouts

// What the fingerprint check shows while it waits for a finger: a fingertip, the call to touch
// the sensor, the check's reason, and Cancel, which stops the check. Escape cancels too.
FocusScope {
    id: view
    objectName: "biometricPrompt"
    required property BiometricPromptModel prompt
    implicitWidth: 320
    implicitHeight: 240
    focus: true
    Accessible.role: Accessible.Dialog
    Accessible.name: title.text

    Keys.onEscapePressed: view.prompt.cancel()

    Rectangle { anchors.fill: parent; color: Theme.background }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 8

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
            Layout.topMargin: 4
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: Texts.text("BiometricPrompt_Title")
            font.family: Theme.fontFamily
            font.pixelSize: 17
            font.bold: true
            color: Theme.primaryText
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
            font.family: Theme.fontFamily
            font.pixelSize: 13
            color: Theme.secondaryText
        }
        Item { Layout.fillHeight: true }
        Button {
            id: cancelButton
            objectName: "biometricPromptCancelButton"
            Layout.alignment: Qt.AlignHCenter
            focus: true
            text: Texts.text("SheetView_CancelButton_Label")
            Accessible.name: text
            font.family: Theme.fontFamily
            font.pixelSize: 13
            leftPadding: 20
            rightPadding: 20
            onClicked: view.prompt.cancel()
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()
            background: Rectangle {
                radius: height / 2
                implicitHeight: 32
                color: Theme.fill
                border.width: cancelButton.visualFocus ? 2 : 0
                border.color: Theme.focusRing
            }
            contentItem: PlainLabel {
                text: cancelButton.text
                font: cancelButton.font
                color: Theme.primaryText
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
        }
    }
}
