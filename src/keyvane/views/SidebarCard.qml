import QtQuick
import Keyvane.Views
import QtQuick.Controls.Basic
import QtQuick.Layouts

// A card of the sidebar: all passkeys, or one token (its model and serial, never its label),
// with the number of passkeys. The chosen card lies on the accent fill in white.
ItemDelegate {
    id: card
    required property int index
    required property bool all
    required property string tokenModel
    required property string serial
    required property var passkeyCount
    required property bool selected
    property bool current: false
    signal chosen(int index)

    objectName: all ? "allPasskeysCard" : "token_card_" + serial
    width: ListView.view ? ListView.view.width : implicitWidth
    leftInset: 10
    rightInset: 10
    leftPadding: 27
    rightPadding: 27
    topPadding: 12
    bottomPadding: 12
    hoverEnabled: false
    focusPolicy: Qt.NoFocus
    Accessible.role: Accessible.ListItem
    Accessible.name: (all ? Texts.text("Passkeys_AllPasskeys_Name") : tokenModel + " " + serial) + ", "
        + Texts.counted("PasskeysView_AllCount", passkeyCount)
    Accessible.selected: selected
    onClicked: card.chosen(index)

    contentItem: RowLayout {
        spacing: 8
        ColumnLayout {
            spacing: 4
            PlainLabel {
                text: card.all ? Texts.text("Passkeys_AllPasskeys_Name") : card.tokenModel
                font.family: Theme.fontFamily
                font.pixelSize: 13
                color: card.selected ? Theme.textOnAccent : Theme.primaryText
                elide: Text.ElideRight
                Layout.fillWidth: true
            }
            PlainLabel {
                visible: !card.all
                text: card.serial
                font.family: Theme.fontFamily
                font.pixelSize: 13
                color: card.selected ? Theme.textOnAccent : Theme.secondaryText
                elide: Text.ElideRight
                Layout.fillWidth: true
            }
        }
        PlainLabel {
            objectName: "cardCount"
            Layout.leftMargin: 5
            Layout.rightMargin: 5
            text: Texts.format("%lld", [String(card.passkeyCount)])
            font.family: Theme.fontFamily
            font.pixelSize: 13
            color: card.selected ? Theme.textOnAccent : Theme.secondaryText
        }
    }
    background: Rectangle {
        radius: 12
        color: card.selected ? Theme.accent : (card.down ? Theme.fill : "transparent")
        // The keyboard's place, where the fill does not already show it.
        border.width: card.current && !card.selected && card.ListView.view && card.ListView.view.activeFocus ? 2 : 0
        border.color: Theme.focusRing
    }
}
