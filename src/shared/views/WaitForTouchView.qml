import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Layouts

// The touch countdown: a bouncing hand inside a ring that empties with the seconds left.
ColumnLayout {
    id: view
    required property TouchCountdownModel countdown
    width: 288

    Item { Layout.fillHeight: true }
    ColumnLayout {
        Layout.alignment: Qt.AlignHCenter
        spacing: Spacing.m
        Item {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 72
            Layout.preferredHeight: 72
            Canvas {
                id: ring
                objectName: "countdownRing"
                anchors.fill: parent
                property real fraction: view.countdown.fraction
                property color tint: Theme.accent
                property color track: Theme.fill
                onFractionChanged: requestPaint()
                onTintChanged: requestPaint()
                onTrackChanged: requestPaint()
                onPaint: {
                    const context = getContext("2d");
                    context.reset();
                    context.lineWidth = 4;
                    context.strokeStyle = track;
                    context.beginPath();
                    context.arc(36, 36, 33, 0, 2 * Math.PI);
                    context.stroke();
                    context.strokeStyle = tint;
                    context.lineCap = "round";
                    context.beginPath();
                    context.arc(36, 36, 33, -Math.PI / 2, -Math.PI / 2 + 2 * Math.PI * fraction);
                    context.stroke();
                }
            }
            Image {
                id: hand
                anchors.centerIn: parent
                width: 48
                height: 48
                source: "images/hand-tap.svg"
                sourceSize.width: 96
                sourceSize.height: 96
                SequentialAnimation on anchors.verticalCenterOffset {
                    loops: Animation.Infinite
                    NumberAnimation { to: -4; duration: 180; easing.type: Easing.OutQuad }
                    NumberAnimation { to: 0; duration: 260; easing.type: Easing.OutBounce }
                    PauseAnimation { duration: 1000 }
                }
            }
        }
        ColumnLayout {
            Layout.topMargin: Spacing.xs
            Layout.bottomMargin: Spacing.xs
            spacing: Spacing.xs
            PlainLabel {
                objectName: "touchTitle"
                Layout.preferredWidth: 288
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: Texts.text("VarnelTouchAuthorizationView_Title")
                font.pixelSize: TypeScale.largeTitle
                font.bold: true
            }
            PlainLabel {
                Layout.preferredWidth: 288
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: Texts.text("VarnelTouchAuthorizationView_Description")
            }
        }
    }
    Item { Layout.fillHeight: true }
    PlainLabel {
        objectName: "touchFootnote"
        Layout.alignment: Qt.AlignHCenter
        text: view.countdown.footnote
        font.pixelSize: TypeScale.footnote
        color: Theme.secondaryText
    }
}
