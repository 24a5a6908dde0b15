import QtQuick
import QtQuick.Controls.Basic
import Keyvane.Style

// The text field of every view, in the label colours and the body size, ringed while it has
// the keyboard. On the background it is a card with a faint edge; on a card (the toolbar) it
// lies on the faint fill. A search field shows the magnifier before its text.
TextField {
    id: control
    property bool search: false
    // The field lies on a card (the toolbar), not on the background.
    property bool overCard: false
    leftPadding: search ? 30 : Spacing.s
    color: Theme.primaryText
    placeholderTextColor: Theme.secondaryText
    font.family: TypeScale.family
    font.pixelSize: TypeScale.body
    background: Rectangle {
        radius: Spacing.smallCorner
        color: control.overCard ? Theme.fill : Theme.card
        border.width: control.overCard ? 0 : 1
        border.color: Qt.rgba(Theme.primaryText.r, Theme.primaryText.g, Theme.primaryText.b, 0.08)
        Symbol {
            visible: control.search
            x: 9
            anchors.verticalCenter: parent.verticalCenter
            width: 14
            height: 14
            source: Symbols.search
            sourceSize.width: 28
            sourceSize.height: 28
            color: Theme.secondaryText
        }
        FocusRing {
            shown: control.activeFocus
            radius: Spacing.smallCorner
        }
    }
}
