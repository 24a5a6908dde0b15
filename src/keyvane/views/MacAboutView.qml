pragma ComponentBehavior: Bound
import QtQuick
import Keyvane.Views
import Keyvane.Style
import Keyvane.MainWindow
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The About sheet, 416 × 464: the logo and name, the call button, the three links and the
// version footer. Its buttons close it or hand an address to the system.
Sheet {
    id: root
    objectName: "aboutSheet"
    required property AboutViewModel model
    implicitWidth: 416
    implicitHeight: 464
    focus: true
    onCancelled: model.close()

    CloseButton {
        objectName: "aboutCloseButton"
        x: Spacing.m
        y: Spacing.m
        onClicked: root.model.close()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.topMargin: 44
        spacing: 0

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: Spacing.m
            Layout.bottomMargin: Spacing.m
            spacing: Spacing.m
            Image {
                objectName: "aboutLogo"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 64
                Layout.preferredHeight: 64
                source: "images/logo.svg"
                sourceSize.width: 128
                sourceSize.height: 128
            }
            PlainLabel {
                Layout.alignment: Qt.AlignHCenter
                text: Texts.text("AppName")
                Accessible.role: Accessible.Heading
                Accessible.name: text
                font.pixelSize: TypeScale.largeTitle
                font.bold: true
            }
        }

        // The call button: a capsule with a border.
        PushButton {
            objectName: "aboutCallButton"
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: Spacing.xs
            Layout.bottomMargin: Spacing.xs
            kind: PushButton.Outlined
            size: PushButton.Large
            focus: true
            text: Texts.text("AboutAppView_CallButton_Label")
            Accessible.name: text + ", " + root.model.supportPhone
            leftPadding: Spacing.l
            rightPadding: Spacing.l
            symbol: Qt.resolvedUrl("images/phone.svg")
            labelColor: Theme.accentText
            onClicked: root.model.call()
        }

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: Spacing.m
            Layout.bottomMargin: Spacing.m
            spacing: Spacing.s
            Repeater {
                model: root.model.links
                AbstractButton {
                    id: link
                    required property var modelData
                    required property int index
                    objectName: "aboutLinkButton_" + index
                    Layout.alignment: Qt.AlignHCenter
                    implicitHeight: 24
                    implicitWidth: implicitContentWidth + 8
                    focusPolicy: Qt.StrongFocus
                    text: modelData.label
                    Accessible.role: Accessible.Link
                    Accessible.name: text
                    Keys.onReturnPressed: clicked()
                    Keys.onEnterPressed: clicked()
                    onClicked: root.model.openLink(index)
                    contentItem: PlainLabel {
                        text: link.text
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                        font.weight: Font.Medium
                        font.underline: link.hovered || link.visualFocus
                        color: link.down ? Theme.blue : Theme.accentText
                    }
                }
            }
        }

        Item { Layout.fillHeight: true }

        // The footer: which build runs, and whose it is.
        ColumnLayout {
            Layout.fillWidth: true
            Layout.topMargin: Spacing.xs
            Layout.leftMargin: Spacing.m
            Layout.rightMargin: Spacing.m
            Layout.bottomMargin: Spacing.xxl
            spacing: 9
            PlainLabel {
                objectName: "aboutVersionLine"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideMiddle
                text: root.model.versionLine
                Accessible.name: text
                font.pixelSize: TypeScale.footnote
                color: Theme.secondaryText
            }
            PlainLabel {
                objectName: "aboutCompany"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideMiddle
                text: Texts.text("AboutAppView_Company")
                Accessible.name: text
                font.pixelSize: TypeScale.footnote
                color: Theme.secondaryText
            }
        }
    }
}
