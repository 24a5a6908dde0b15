import QtQuick
import Keyvane.Views
import Keyvane.Extension
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The registration request: the passkey's user name and site, and Continue, which opens the
// login sheet. Return continues, Escape (or the close button) cancels the request. The view
// grows to hold the login sheet while it shows.
FocusScope {
    id: root
    objectName: "macRegistrationView"
    required property RegistrationModel model
    implicitWidth: model.loginSheetShown ? 416 : 352
    implicitHeight: model.loginSheetShown ? 395 : 384
    focus: true

    Component.onCompleted: model.appeared()
    // Back from the login sheet, the view has the keyboard again (Return continues).
    readonly property bool sheetShown: model.loginSheetShown
    onSheetShownChanged: if (!sheetShown) root.forceActiveFocus()

    Keys.onReturnPressed: model.alertShown ? model.alertReturnPressed() : model.continuePressed()
    Keys.onEnterPressed: model.alertShown ? model.alertReturnPressed() : model.continuePressed()
    Keys.onEscapePressed: model.alertShown ? model.alertEscapePressed() : model.cancel()

    Rectangle { anchors.fill: parent; color: Theme.background }

    Item {
        anchors.fill: parent
        enabled: !root.model.loginSheetShown && !root.model.alertShown

        CloseButton {
            objectName: "closeButton"
            x: 16
            y: 16
            onClicked: root.model.cancel()
        }

        ColumnLayout {
            anchors.fill: parent
            spacing: 8
            Item { Layout.fillHeight: true }
            Item {
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 32
                Layout.preferredHeight: 52
                Layout.topMargin: 3
                Layout.bottomMargin: 2
                Image {
                    id: keyCard
                    objectName: "keyCard"
                    width: 32
                    height: 52
                    source: "images/key-card.svg"
                    sourceSize.width: 64
                    sourceSize.height: 104
                    fillMode: Image.PreserveAspectFit
                    // A slow bounce, a second apart; still when animations are pinned off.
                    SequentialAnimation on y {
                        running: Theme.animated
                        loops: Animation.Infinite
                        NumberAnimation { from: 0; to: -6; duration: 260; easing.type: Easing.OutQuad }
                        NumberAnimation { from: -6; to: 0; duration: 420; easing.type: Easing.OutBounce }
                        PauseAnimation { duration: 1000 }
                    }
                }
            }
            ColumnLayout {
                objectName: "requestBlock"
                Layout.alignment: Qt.AlignHCenter
                Layout.topMargin: 16
                Layout.bottomMargin: 16
                Layout.maximumWidth: 320
                spacing: 8
                visible: root.model.hasRequest
                PlainLabel {
                    objectName: "userName"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.maximumWidth: 320
                    Layout.preferredHeight: 26
                    horizontalAlignment: Text.AlignHCenter
                    elide: Text.ElideMiddle
                    text: root.model.userName
                    font.family: Theme.fontFamily
                    font.pixelSize: 22
                    font.bold: true
                    color: Theme.primaryText
                }
                PlainLabel {
                    objectName: "relyingParty"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.maximumWidth: 320
                    Layout.preferredHeight: 16
                    horizontalAlignment: Text.AlignHCenter
                    elide: Text.ElideMiddle
                    text: root.model.relyingParty
                    font.family: Theme.fontFamily
                    font.pixelSize: 13
                    color: Theme.secondaryText
                }
            }
            Button {
                id: continueButton
                objectName: "continueButton"
                Layout.alignment: Qt.AlignHCenter
                text: Texts.text("PasskeyRegistration_Button_Continue")
                Accessible.name: text
                font.family: Theme.fontFamily
                font.pixelSize: 13
                font.weight: Font.Medium
                leftPadding: 16
                rightPadding: 16
                onClicked: root.model.continuePressed()
                contentItem: PlainLabel {
                    text: continueButton.text
                    font: continueButton.font
                    color: Theme.textOnAccent
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                background: Rectangle {
                    implicitHeight: 36
                    radius: 18
                    color: Theme.accent
                    opacity: continueButton.pressed ? 0.75 : 1
                    border.width: continueButton.visualFocus ? 2 : 0
                    border.color: Theme.primaryText
                }
            }
            Item { Layout.fillHeight: true }
        }
    }

    AlertOverlay {
        anchors.fill: parent
        shown: root.model.alertShown
        title: root.model.alertTitle
        message: root.model.alertMessage
        buttons: root.model.alertButtons
        onPressed: index => root.model.pressAlertButton(index)
    }

    LoginSheetLayer {
        anchors.fill: parent
        host: root.model
    }
}
