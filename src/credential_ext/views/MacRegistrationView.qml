import QtQuick
import Keyvane.Views
import Keyvane.Style
import Keyvane.Extension
import QtQuick.Layouts

// The registration request: the passkey's user name and site, and Continue, which opens the
// login sheet. Return continues, Escape (or the close button) cancels the request; while the
// alert shows, both answer it. The view grows to hold the login sheet while it shows.
Sheet {
    id: root
    objectName: "macRegistrationView"
    required property RegistrationModel model
    implicitWidth: model.loginSheetShown ? 416 : 352
    implicitHeight: model.loginSheetShown ? 395 : 384
    focus: true
    alerts: model
    acceptsReturn: true
    onAccepted: model.continuePressed()
    onCancelled: model.cancel()

    Component.onCompleted: model.appeared()
    // Back from the login sheet, the view has the keyboard again (Return continues).
    readonly property bool sheetShown: model.loginSheetShown
    onSheetShownChanged: if (!sheetShown) root.forceActiveFocus()

    Item {
        anchors.fill: parent
        enabled: !root.model.loginSheetShown && !root.model.alertShown

        CloseButton {
            objectName: "closeButton"
            x: Spacing.m
            y: Spacing.m
            onClicked: root.model.cancel()
        }

        ColumnLayout {
            anchors.fill: parent
            spacing: Spacing.xs
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
                Layout.topMargin: Spacing.m
                Layout.bottomMargin: Spacing.m
                Layout.maximumWidth: 320
                spacing: Spacing.xs
                visible: root.model.hasRequest
                PlainLabel {
                    objectName: "userName"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.maximumWidth: 320
                    Layout.preferredHeight: 26
                    horizontalAlignment: Text.AlignHCenter
                    elide: Text.ElideMiddle
                    text: root.model.userName
                    font.pixelSize: TypeScale.largeTitle
                    font.bold: true
                }
                PlainLabel {
                    objectName: "relyingParty"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.maximumWidth: 320
                    Layout.preferredHeight: 16
                    horizontalAlignment: Text.AlignHCenter
                    elide: Text.ElideMiddle
                    text: root.model.relyingParty
                    color: Theme.secondaryText
                }
            }
            PushButton {
                objectName: "continueButton"
                Layout.alignment: Qt.AlignHCenter
                kind: PushButton.Prominent
                size: PushButton.Tall
                text: Texts.text("PasskeyRegistration_Button_Continue")
                onClicked: root.model.continuePressed()
            }
            Item { Layout.fillHeight: true }
        }
    }

    LoginSheetLayer {
        anchors.fill: parent
        host: root.model
    }
}
