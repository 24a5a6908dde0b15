import QtQuick
import Keyvane.Views
import Keyvane.Style
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
    topPadding: Spacing.s
    bottomPadding: Spacing.s
    hoverEnabled: false
    focusPolicy: Qt.NoFocus
    Accessible.role: Accessible.ListItem
    Accessible.name: (all ? Texts.text("Passkeys_AllPasskeys_Name") : tokenModel + " " + serial) + ", "
        + Texts.counted("PasskeysView_AllCount", passkeyCount)
    Accessible.selected: selected
    onClicked: card.chosen(index)

    contentItem: RowLayout {
        spacing: Spacing.xs
        ColumnLayout {
            spacing: Spacing.xxs
            PlainLabel {
                text: card.all ? Texts.text("Passkeys_AllPasskeys_Name") : card.tokenModel
                color: card.selected ? Theme.textOnAccent : Theme.primaryText
                elide: Text.ElideRight
                Layout.fillWidth: true
            }
            PlainLabel {
                visible: !card.all
                text: card.serial
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
            color: card.selected ? Theme.textOnAccent : Theme.secondaryText
        }
    }
    background: Rectangle {
        radius: Spacing.corner
        color: card.selected ? Theme.accent : (card.down ? Theme.fill : "transparent")
        // The keyboard's place, where the fill does not already show it.
        FocusRing {
            shown: card.current && !card.selected && card.ListView.view !== null && card.ListView.view.activeFocus
            radius: Spacing.corner
        }
    }
}
