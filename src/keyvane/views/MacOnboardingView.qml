import QtQuick
import Keyvane.Views
import Keyvane.Style
import Keyvane.MainWindow
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The onboarding layer over the main window: the step the store's onboarding status names, on
// a cover over the whole window; the master-password sheet above it while it is open. What a
// button does, and which texts and pictures a step has, the view model decides.
FocusScope {
    id: root
    objectName: "onboarding"
    required property OnboardingViewModel model
    // The master-password and fingerprint pictures are the shared views' (the sheets show
    // them too); the other step pictures and the logo are this module's.
    readonly property var sharedPictures: ["master-password", "fingerprint"]
    focus: true

    // The whole layer fades at the end.
    opacity: model.ended ? 0 : 1
    Behavior on opacity { enabled: Theme.animated; NumberAnimation { duration: 240; easing.type: Easing.OutCubic } }

    // The cover: opaque, since without a blur the window's texts would mix with the step's.
    // Clicks stop here.
    Rectangle {
        anchors.fill: parent
        color: Theme.background
    }
    MouseArea { anchors.fill: parent; acceptedButtons: Qt.AllButtons }

    // The step's buttons: the main one on the accent, the other plain; large on the steps
    // that say so.
    component StepButton: PushButton {
        property bool primary: true
        property bool large: false
        kind: primary ? PushButton.Prominent : PushButton.Plain
        size: large ? PushButton.Large : PushButton.Tall
    }

    // The step, centred and lifted a little; replaced, it comes in from larger and fades in.
    FocusScope {
        id: step
        objectName: "onboardingStep"
        anchors.fill: parent
        anchors.leftMargin: Spacing.xxl
        anchors.rightMargin: Spacing.xxl
        visible: root.model.step !== OnboardingViewModel.None
        focus: !root.model.masterPasswordSheetShown
        enabled: !root.model.masterPasswordSheetShown && !root.model.beginPressed
        transform: Translate { y: -25 }
        // The final button: the step shrinks and fades before the layer goes.
        scale: root.model.beginPressed ? 0.8 : 1
        opacity: root.model.beginPressed ? 0 : 1
        Behavior on scale { enabled: Theme.animated; NumberAnimation { duration: 240; easing.type: Easing.OutCubic } }
        Behavior on opacity { enabled: Theme.animated; NumberAnimation { duration: 240; easing.type: Easing.OutCubic } }

        property int shownStep: root.model.step
        onShownStepChanged: {
            if (Theme.animated) stepEntry.restart();
            // A new step starts at its main button, also when a button that is gone had the keyboard.
            if (step.activeFocus) primaryButton.forceActiveFocus();
        }
        ParallelAnimation {
            id: stepEntry
            NumberAnimation { target: column; property: "scale"; from: 1.2; to: 1; duration: 240; easing.type: Easing.OutCubic }
            NumberAnimation { target: column; property: "opacity"; from: 0; to: 1; duration: 240; easing.type: Easing.OutCubic }
        }

        ColumnLayout {
            id: column
            anchors.centerIn: parent
            width: Math.min(352, parent.width)
            spacing: 0

            Item {
                objectName: "onboardingHeader"
                Layout.alignment: Qt.AlignHCenter
                Layout.bottomMargin: Spacing.m
                Layout.preferredWidth: 96
                Layout.preferredHeight: root.model.header === "app-logo" ? 96 : 57
                Image {
                    id: picture
                    objectName: root.model.header === "app-logo" ? "onboardingLogo" : "onboardingSymbol"
                    readonly property bool logo: root.model.header === "app-logo"
                    readonly property int side: logo ? (root.model.logoEnlarged ? 96 : 64) : 57
                    anchors.centerIn: parent
                    width: side
                    height: side
                    fillMode: Image.PreserveAspectFit
                    source: logo ? "images/logo.svg"
                          : root.model.header === "" ? ""
                          : root.sharedPictures.indexOf(root.model.header) >= 0
                            ? "qrc:/qt/qml/Keyvane/Views/images/" + root.model.header + ".svg"
                            : "images/" + root.model.header + ".svg"
                    sourceSize.width: 192
                    sourceSize.height: 192
                    // The step's symbol bounces now and then (the master password's pulses), a
                    // second apart; the logo keeps still.
                    SequentialAnimation on scale {
                        running: Theme.animated && !picture.logo && picture.visible
                        loops: Animation.Infinite
                        PauseAnimation { duration: 1000 }
                        NumberAnimation { to: picture.pulse ? 1 : 1.08; duration: 300; easing.type: Easing.OutQuad }
                        NumberAnimation { to: 1; duration: 300; easing.type: Easing.InQuad }
                    }
                    SequentialAnimation on opacity {
                        running: Theme.animated && picture.pulse && picture.visible
                        loops: Animation.Infinite
                        PauseAnimation { duration: 1000 }
                        NumberAnimation { to: 0.55; duration: 450; easing.type: Easing.InOutQuad }
                        NumberAnimation { to: 1; duration: 450; easing.type: Easing.InOutQuad }
                    }
                    readonly property bool pulse: root.model.header === "master-password"
                    // A new picture starts still, whatever the last one's animation left.
                    onSourceChanged: { scale = 1; opacity = 1; }
                    Behavior on width { enabled: Theme.animated; NumberAnimation { duration: 240; easing.type: Easing.OutCubic } }
                    Behavior on height { enabled: Theme.animated; NumberAnimation { duration: 240; easing.type: Easing.OutCubic } }
                }
            }

            // Title, description and buttons; at the first step they come in from below once
            // the logo has settled.
            ColumnLayout {
                id: textBlock
                objectName: "onboardingText"
                Layout.alignment: Qt.AlignHCenter
                spacing: 0
                visible: opacity > 0
                opacity: root.model.textBlockShown ? 1 : 0
                transform: Translate {
                    y: root.model.textBlockShown ? 0 : 24
                    Behavior on y { enabled: Theme.animated; NumberAnimation { duration: 240; easing.type: Easing.OutCubic } }
                }
                Behavior on opacity { enabled: Theme.animated; NumberAnimation { duration: 240; easing.type: Easing.OutCubic } }

                PlainLabel {
                    objectName: "onboardingTitle"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.maximumWidth: 288
                    Layout.minimumHeight: 26
                    Layout.bottomMargin: Spacing.xs
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: root.model.title
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                    font.pixelSize: TypeScale.largeTitle
                    font.bold: true
                }
                PlainLabel {
                    objectName: "onboardingDescription"
                    visible: text !== ""
                    Layout.alignment: Qt.AlignHCenter
                    Layout.preferredWidth: 288
                    Layout.bottomMargin: Spacing.xs
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: root.model.description
                    Accessible.name: text
                }

                // The last step's hint: where help is found later.
                Rectangle {
                    objectName: "onboardingHint"
                    visible: root.model.hintShown
                    Layout.alignment: Qt.AlignHCenter
                    Layout.preferredWidth: 288
                    Layout.preferredHeight: hintRow.implicitHeight + 24
                    Layout.topMargin: Spacing.m
                    Layout.bottomMargin: Spacing.xs
                    radius: Spacing.corner
                    color: Theme.fill
                    Accessible.role: Accessible.StaticText
                    Accessible.name: hintTitle.text + ". " + hintText.text
                    RowLayout {
                        id: hintRow
                        anchors.fill: parent
                        anchors.margins: Spacing.s
                        spacing: 0
                        Rectangle {
                            Layout.alignment: Qt.AlignTop
                            Layout.preferredWidth: 26
                            Layout.preferredHeight: 26
                            Layout.rightMargin: Spacing.s
                            radius: 6
                            color: Theme.background
                            Image {
                                anchors.centerIn: parent
                                width: 17
                                height: 17
                                source: "images/app-badge.svg"
                                sourceSize.width: 34
                                sourceSize.height: 34
                            }
                        }
                        ColumnLayout {
                            Layout.fillWidth: true
                            Layout.alignment: Qt.AlignTop
                            spacing: 0
                            PlainLabel {
                                id: hintTitle
                                Layout.fillWidth: true
                                Layout.bottomMargin: Spacing.xxs
                                wrapMode: Text.WordWrap
                                text: Texts.text("Onboarding_ReadyToGo_AboutAppHint_Title")
                                font.bold: true
                            }
                            PlainLabel {
                                id: hintText
                                Layout.fillWidth: true
                                wrapMode: Text.WordWrap
                                text: Texts.text("Onboarding_ReadyToGo_AboutAppHint_Description")
                                color: Theme.secondaryText
                            }
                        }
                    }
                }

                StepButton {
                    id: primaryButton
                    objectName: "onboardingPrimaryButton"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.topMargin: root.model.hintShown ? 0 : 16
                    Layout.bottomMargin: root.model.secondaryLabel !== "" ? 8 : 0
                    large: root.model.largeButtons
                    text: root.model.primaryLabel
                    enabled: root.model.primaryEnabled
                    focus: true
                    onClicked: root.model.pressPrimary()
                }
                StepButton {
                    objectName: "onboardingNotNowButton"
                    visible: root.model.secondaryLabel !== ""
                    Layout.alignment: Qt.AlignHCenter
                    Layout.maximumWidth: 288
                    primary: false
                    text: root.model.secondaryLabel
                    onClicked: root.model.pressSecondary()
                }
            }
        }
    }

    // The master-password sheet: the two-step entry; Escape or its close button closes it
    // and the step stays.
    Scrim {
        anchors.fill: parent
        visible: root.model.masterPasswordSheetShown
    }
    DoubleMasterPassView {
        id: sheet
        objectName: "onboardingMasterPasswordSheet"
        anchors.centerIn: parent
        visible: root.model.masterPasswordSheetShown
        enabled: visible
        focus: visible
        input: root.model.masterPasswordInput
        onCloseRequested: root.model.closeMasterPasswordSheet()
        // Closed, the keyboard goes back to the step.
        onVisibleChanged: if (!visible) step.forceActiveFocus()
    }
}
