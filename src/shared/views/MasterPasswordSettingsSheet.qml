import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The master-password settings sheet: turn on, or the biometry switch with change and turn
// off; the password prompt over it while the state asks; the two-step entry; the alerts.
Sheet {
    id: root
    objectName: "settingsSheet"
    required property SettingsSheetModel model
    implicitWidth: 464
    implicitHeight: 512
    focus: true
    alerts: model
    onCancelled: model.disableConfirmationShown ? model.cancelTurnOff() : model.close()

    // The sheet's own controls hold the keyboard unless something covers them: the prompt,
    // the two-step entry, the turn-off confirmation or the state's alert. Covered, they are
    // off, so neither Tab nor a key can reach them behind the cover.
    FocusScope {
        readonly property bool covered: root.model.promptShown || root.model.alertShown
            || root.model.disableConfirmationShown || root.model.doubleInputPurpose !== SettingsSheetModel.None
        anchors.fill: parent
        focus: !covered
        enabled: !covered
        ColumnLayout {
            id: content
            anchors.centerIn: parent
            width: 320
            height: 448
            spacing: 0

            Item { Layout.fillHeight: true }
            ColumnLayout {
                Layout.alignment: Qt.AlignHCenter
                Layout.bottomMargin: Spacing.m
                spacing: Spacing.xs
                Image {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.preferredWidth: 83
                    Layout.preferredHeight: 57
                    source: "images/master-password.svg"
                    sourceSize.width: 166
                    sourceSize.height: 114
                }
                PlainLabel {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.topMargin: Spacing.xs
                    text: Texts.text("GrandPassView_Title")
                    font.pixelSize: TypeScale.largeTitle
                    font.bold: true
                }
                PlainLabel {
                    Layout.preferredWidth: 288
                    Layout.bottomMargin: Spacing.xs
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: Texts.text("GrandPassView_Description")
                }
            }
            ColumnLayout {
                objectName: "enabledBody"
                visible: root.model.masterPasswordEnabled
                Layout.alignment: Qt.AlignHCenter
                spacing: Spacing.m
                Rectangle {
                    Layout.preferredWidth: 288
                    Layout.preferredHeight: Spacing.largeHeight
                    radius: Spacing.corner
                    color: Theme.fill
                    RowLayout {
                        anchors.fill: parent
                        anchors.leftMargin: Spacing.m
                        anchors.rightMargin: Spacing.m
                        PlainLabel {
                            Layout.fillWidth: true
                            text: Texts.text("GrandPassView_UseBiometry_Label")
                        }
                        Switch {
                            id: biometrySwitch
                            objectName: "biometrySwitch"
                            Accessible.name: Texts.text("GrandPassView_UseBiometry_Label")
                            checked: root.model.biometryEnabled
                            // Drawn here: the style's own track takes the system palette and
                            // vanishes on the dark card; on is the accent hue.
                            indicator: Rectangle {
                                implicitWidth: 40
                                implicitHeight: 24
                                x: biometrySwitch.leftPadding
                                y: (biometrySwitch.height - height) / 2
                                radius: height / 2
                                color: biometrySwitch.checked ? Theme.switchTrackOn : Theme.switchTrackOff
                                Rectangle {
                                    width: 20
                                    height: 20
                                    radius: 10
                                    y: 2
                                    x: biometrySwitch.checked ? parent.width - width - 2 : 2
                                    color: Theme.textOnAccent
                                    Behavior on x { NumberAnimation { duration: 120 } }
                                }
                                FocusRing {
                                    shown: biometrySwitch.visualFocus
                                    radius: height / 2
                                    overFill: true
                                }
                            }
                            // The switch moves only when the state does: the click only asks.
                            onToggled: {
                                root.model.setBiometry(checked);
                                checked = Qt.binding(() => root.model.biometryEnabled);
                            }
                        }
                    }
                }
                ColumnLayout {
                    spacing: Spacing.xs
                    PushButton {
                        objectName: "changeButton"
                        size: PushButton.Tall
                        Layout.preferredWidth: 288
                        text: Texts.text("GrandPassView_EditButton_Label")
                        focus: root.model.masterPasswordEnabled
                        onClicked: root.model.change()
                    }
                    PushButton {
                        objectName: "turnOffButton"
                        size: PushButton.Tall
                        Layout.preferredWidth: 288
                        text: Texts.text("GrandPassView_DisableButton_Label")
                        onClicked: root.model.askToTurnOff()
                    }
                }
            }
            PushButton {
                objectName: "turnOnButton"
                visible: !root.model.masterPasswordEnabled
                Layout.alignment: Qt.AlignHCenter
                kind: PushButton.Prominent
                size: PushButton.Tall
                focus: !root.model.masterPasswordEnabled
                text: Texts.text("Onboarding_TurnOnButton_Label")
                onClicked: root.model.turnOn()
            }
            Item { Layout.fillHeight: true }
            PlainLabel {
                objectName: "protectionNote"
                visible: text.length > 0
                Layout.preferredWidth: 288
                Layout.alignment: Qt.AlignHCenter
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: root.model.protectionText
                Accessible.name: text
                font.pixelSize: TypeScale.footnote
                color: Theme.secondaryText
            }
            PlainLabel {
                Layout.preferredWidth: 288
                Layout.alignment: Qt.AlignHCenter
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: Texts.text("GrandPassView_Footnote")
                font.pixelSize: TypeScale.footnote
                color: Theme.secondaryText
            }
        }
    }

    // The password prompt that guards the sheet.
    Loader {
        id: promptLoader
        objectName: "promptLoader"
        // The prompt fades in and out (0.24 s, easing out); it stays made while it fades out.
        // The prompt itself says when it has faded: a binding on its opacity would make the
        // loader's state depend on its own item.
        property bool faded: true
        anchors.fill: parent
        active: root.model.promptShown || !faded
        focus: root.model.promptShown
        sourceComponent: Rectangle {
            objectName: "settingsPrompt"
            color: Theme.background
            visible: opacity > 0
            enabled: root.model.promptShown
            opacity: 0
            onOpacityChanged: promptLoader.faded = opacity === 0
            Component.onCompleted: opacity = Qt.binding(() => root.model.promptShown ? 1 : 0)
            Behavior on opacity { enabled: Theme.animated; NumberAnimation { duration: 240; easing.type: Easing.OutQuad } }
            MasterPassInputField {
                objectName: "settingsPromptField"
                anchors.centerIn: parent
                focus: true
                input: root.model.prompt
            }
        }
    }

    // The two-step entry, as a sheet over the sheet.
    Loader {
        objectName: "doubleInputLoader"
        anchors.fill: parent
        active: root.model.doubleInputPurpose !== SettingsSheetModel.None
        focus: active
        sourceComponent: Scrim {
            DoubleMasterPassView {
                objectName: "doubleInput"
                anchors.centerIn: parent
                focus: true
                input: root.model.doubleInput
                onCloseRequested: root.model.closeDoubleInput()
            }
        }
    }

    CloseButton {
        objectName: "settingsCloseButton"
        x: Spacing.m
        y: Spacing.m
        visible: root.model.doubleInputPurpose === SettingsSheetModel.None
        // Usable over the prompt, never behind the confirmation or the alert.
        enabled: !root.model.alertShown && !root.model.disableConfirmationShown
        onClicked: root.model.close()
    }

    AlertOverlay {
        objectName: "turnOffConfirmation"
        anchors.fill: parent
        // Shown, it takes the keyboard (onto its safe button).
        focus: shown
        shown: root.model.disableConfirmationShown
        title: Texts.text("GrandPassView_Alert_DisableGrandPass_Title")
        message: Texts.text("GrandPassView_Alert_DisableGrandPass_Description")
        buttons: root.model.turnOffButtons
        onPressed: index => root.model.pressTurnOffButton(index)
    }
}
