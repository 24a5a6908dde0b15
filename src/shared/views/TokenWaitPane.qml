import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Layouts

// Waits for one given token: its picture over a softly pulsing glow, and a notice when another
// token is connected instead.
Item {
    id: pane
    required property LoginSheetModel sheet

    ColumnLayout {
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(288, parent.width)
        height: parent.height
        spacing: Spacing.xs

        Item { Layout.fillHeight: true }
        Item {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 80
            Layout.preferredHeight: 80
            // The glow is drawn: a radial gradient stands in for a blurred circle.
            Canvas {
                id: glow
                objectName: "tokenGlow"
                anchors.centerIn: parent
                width: 128
                height: 128
                property color tint: Theme.accent
                onTintChanged: requestPaint()
                onPaint: {
                    const context = getContext("2d");
                    context.reset();
                    const gradient = context.createRadialGradient(64, 64, 0, 64, 64, 64);
                    gradient.addColorStop(0, tint);
                    gradient.addColorStop(0.45, Qt.rgba(tint.r, tint.g, tint.b, 0.7));
                    gradient.addColorStop(1, Qt.rgba(tint.r, tint.g, tint.b, 0));
                    context.fillStyle = gradient;
                    context.fillRect(0, 0, 128, 128);
                }
                SequentialAnimation on scale {
                    loops: Animation.Infinite
                    NumberAnimation { from: 0.92; to: 1.08; duration: 1600; easing.type: Easing.InOutQuad }
                    NumberAnimation { to: 0.92; duration: 1600; easing.type: Easing.InOutQuad }
                }
                SequentialAnimation on opacity {
                    loops: Animation.Infinite
                    NumberAnimation { from: 0.2; to: 0.35; duration: 1600; easing.type: Easing.InOutQuad }
                    NumberAnimation { to: 0.2; duration: 1600; easing.type: Easing.InOutQuad }
                }
            }
            Image {
                anchors.centerIn: parent
                width: 56
                height: 56
                source: "images/" + Theme.tokenPicture
                sourceSize.width: 112
                sourceSize.height: 112
                fillMode: Image.PreserveAspectFit
            }
        }
        PlainLabel {
            objectName: "tokenWaitTitle"
            Layout.fillWidth: true
            Layout.topMargin: Spacing.xs
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: Texts.text("VarnelAwait_Title")
            font.pixelSize: TypeScale.largeTitle
            font.bold: true
        }
        PlainLabel {
            objectName: "tokenWaitDescription"
            Layout.fillWidth: true
            Layout.bottomMargin: Spacing.xs
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: pane.sheet.awaitDescription
        }
        Item { Layout.fillHeight: true }
    }

    // The other-token notice: a badge that widens to show its text.
    Item {
        id: notice
        objectName: "otherTokenNotice"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: Spacing.xl
        width: 206
        height: 32
        visible: opacity > 0
        opacity: pane.sheet.noticeShown ? 1 : 0
        scale: pane.sheet.noticeShown ? 1 : 0.5
        Accessible.role: Accessible.AlertMessage
        Accessible.name: Texts.text("VarnelAwait_Toast_OtherVarnel_Description")
        Behavior on opacity { enabled: Theme.animated; NumberAnimation { duration: 250; easing.type: Easing.InOutQuad } }
        Behavior on scale { enabled: Theme.animated; NumberAnimation { duration: 250; easing.type: Easing.InOutQuad } }

        Rectangle {
            id: capsule
            objectName: "otherTokenNoticeCapsule"
            anchors.verticalCenter: parent.verticalCenter
            x: (parent.width - width) / 2
            width: pane.sheet.noticeExpanded ? 206 : 32
            height: 32
            radius: 16
            color: Theme.fill
            clip: true
            Behavior on width { enabled: Theme.animated; NumberAnimation { duration: 250; easing.type: Easing.InOutQuad } }
            PlainLabel {
                anchors.verticalCenter: parent.verticalCenter
                x: 38
                width: 206 - 38 - 10
                elide: Text.ElideRight
                maximumLineCount: 1
                text: Texts.text("VarnelAwait_Toast_OtherVarnel_Description")
                font.pixelSize: TypeScale.footnote
                font.weight: Font.Medium
            }
        }
        Image {
            anchors.verticalCenter: parent.verticalCenter
            x: capsule.x
            width: 32
            height: 32
            source: "images/alert-badge.svg"
            sourceSize.width: 64
            sourceSize.height: 64
        }
    }
}
