import QtQuick
import QtQuick.Window
import Keyvane.Views
import Keyvane.Style

// The fingerprint prompt in a small window of its own, above whatever window the program
// shows, while a check waits for a finger (createBiometricPromptWindow shows and hides it).
// Closing the window cancels the check.
Window {
    id: window
    required property BiometricPromptModel prompt
    objectName: "biometricPromptWindow"
    title: Texts.text("BiometricPrompt_Title")
    flags: Qt.Dialog
    modality: Qt.ApplicationModal
    width: 320
    height: 240
    minimumWidth: 320
    minimumHeight: 240
    color: Theme.background
    // Shown and hidden by its host, which puts it above the program's window first.

    // The window manager's close button stops the check as Cancel does; the host then hides
    // the window as the prompt goes.
    onClosing: event => {
        event.accepted = false;
        window.prompt.cancel();
    }
    onVisibleChanged: if (visible) { requestActivate(); content.forceActiveFocus(); }

    BiometricPromptView {
        id: content
        anchors.fill: parent
        prompt: window.prompt
    }
}
