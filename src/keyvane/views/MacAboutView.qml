pragma ComponentBehavior: Bound
import QtQuick
import Keyvane.Views
import Keyvane.MainWindow
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The About sheet, 416 × 464: the logo and name, the call button, the three links and the
// version footer. Its buttons close it or hand an address to the system.
FocusScope {
    id: root
    objectName: "aboutSheet"
    required property AboutViewModel model
    implicitWidth: 416
    implicitHeight: 464
    focus: true
    Keys.onEscapePressed: model.close()

    Rectangle { anchors.fill: parent; color: Theme.background }

    CloseButton {
        objectName: "aboutCloseButton"
        x: 16
        y: 16
        onClicked: root.model.close()
        Keys.onReturnPressed: clicked()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.topMargin: 44
        spacing: 0

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 16
            Layout.bottomMargin: 16
            spacing: 16
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
                font.family: Theme.fontFamily
                font.pixelSize: 22
                font.bold: true
                color: Theme.primaryText
            }
        }

        // The call button: a capsule with a border.
        Button {
            id: callButton
            objectName: "aboutCallButton"
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 8
            Layout.bottomMargin: 8
            focus: true
            text: Texts.text("AboutAppView_CallButton_Label")
            Accessible.name: text + ", " + root.model.supportPhone
            leftPadding: 20
            rightPadding: 20
            font.family: Theme.fontFamily
            font.pixelSize: 13
            font.weight: Font.Medium
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()
            onClicked: root.model.call()
            contentItem: RowLayout {
                spacing: 8
                Symbol {
                    Layout.preferredWidth: 15
                    Layout.preferredHeight: 16
                    source: "images/phone.svg"
                    sourceSize.width: 30
                    sourceSize.height: 32
                    color: Theme.accentText
                }
                PlainLabel {
                    text: callButton.text
                    font: callButton.font
                    color: Theme.accentText
                }
            }
            background: Rectangle {
                implicitHeight: 44
                radius: height / 2
                color: callButton.down ? Theme.fill : "transparent"
                border.width: callButton.visualFocus ? 2 : 1
                border.color: callButton.visualFocus ? Theme.focusRing : Theme.separator
            }
        }

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 16
            Layout.bottomMargin: 16
            spacing: 12
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
                        font.family: Theme.fontFamily
                        font.pixelSize: 13
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
            Layout.topMargin: 8
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            Layout.bottomMargin: 32
            spacing: 9
            PlainLabel {
                objectName: "aboutVersionLine"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideMiddle
                text: root.model.versionLine
                Accessible.name: text
                font.family: Theme.fontFamily
                font.pixelSize: 11
                color: Theme.secondaryText
            }
            PlainLabel {
                objectName: "aboutCompany"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideMiddle
                text: Texts.text("AboutAppView_Company")
                Accessible.name: text
                font.family: Theme.fontFamily
                font.pixelSize: 11
                color: Theme.secondaryText
            }
        }
    }
}
