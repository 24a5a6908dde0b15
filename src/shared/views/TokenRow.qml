import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Controls.Basic
import QtQuick.Layouts

// One token: its picture, model and serial (never its label). 60 pixels high.
ItemDelegate {
    id: row
    required property string tokenModel
    required property string serial
    required property bool supported

    implicitHeight: 60
    padding: Spacing.m
    focusPolicy: supported ? Qt.StrongFocus : Qt.NoFocus
    hoverEnabled: false
    opacity: supported ? 1 : 0.85
    Accessible.name: tokenModel + " " + serial
    Keys.onReturnPressed: row.clicked()
    Keys.onEnterPressed: row.clicked()

    contentItem: RowLayout {
        spacing: 0
        Image {
            Layout.preferredWidth: 24
            Layout.preferredHeight: 24
            Layout.rightMargin: Spacing.s
            // The grey picture is drawn as such: the software renderer has no colour effects.
            // Each has a drawing for the dark background, where the light one would vanish.
            source: "images/" + (row.supported ? Theme.tokenPicture : Theme.unsupportedTokenPicture)
            sourceSize.width: 48
            sourceSize.height: 48
            fillMode: Image.PreserveAspectFit
        }
        ColumnLayout {
            spacing: Spacing.xxs
            PlainLabel {
                text: row.tokenModel
                font.bold: true
            }
            PlainLabel {
                text: row.serial
                color: Theme.secondaryText
            }
        }
        Item { Layout.fillWidth: true }
    }
    background: Rectangle {
        color: row.down ? Theme.fill : "transparent"
        radius: Spacing.smallCorner
        FocusRing {
            shown: row.visualFocus
            radius: Spacing.smallCorner
        }
        // The list's separator under each row, from where the text starts; a folded row
        // takes its separator with it.
        Rectangle {
            objectName: "tokenRowSeparator"
            x: 52
            width: parent.width - x
            anchors.bottom: parent.bottom
            height: 1
            color: Theme.separator
        }
    }
}
