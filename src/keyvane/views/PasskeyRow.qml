import QtQuick
import Keyvane.Views
import Keyvane.Style
import Keyvane.MainWindow
import QtQuick.Controls.Basic
import QtQuick.Layouts

// One row of the passkey list: a token's header (model and serial), a passkey (user name and
// relying party) or the space after a section.
Control {
    id: row
    required property int index
    required property int kind
    required property string tokenModel
    required property string serial
    required property string username
    required property string relyingParty
    required property bool selected
    required property bool selectable
    property bool current: false
    signal chosen(int index, bool toggle)

    readonly property bool isPasskey: kind === PasskeyListModel.Passkey
    objectName: isPasskey ? "passkey_" + relyingParty + "_" + username : (kind === PasskeyListModel.Header ? "sectionHeader_" + serial : "")
    width: ListView.view ? ListView.view.width : implicitWidth
    height: kind === PasskeyListModel.Header ? 32 : (isPasskey ? 60 : 16)
    padding: 0
    leftPadding: Spacing.m
    rightPadding: Spacing.m
    focusPolicy: Qt.NoFocus
    opacity: isPasskey && !selectable ? 0.45 : 1
    Accessible.role: isPasskey ? Accessible.ListItem : Accessible.StaticText
    Accessible.name: isPasskey ? username + ", " + relyingParty : (kind === PasskeyListModel.Header ? tokenModel + " " + serial : "")
    Accessible.selected: selected
    Accessible.selectable: isPasskey && selectable
    // A click selects this passkey alone; with Control it joins or leaves the selection.
    TapHandler {
        enabled: row.isPasskey
        onTapped: row.chosen(row.index, (point.modifiers & Qt.ControlModifier) !== 0)
    }

    contentItem: Item {
        RowLayout {
            visible: row.kind === PasskeyListModel.Header
            anchors.fill: parent
            spacing: Spacing.xs
            PlainLabel {
                text: row.tokenModel
                font.bold: true
                color: Theme.secondaryText
            }
            PlainLabel {
                text: row.serial
                color: Theme.secondaryText
            }
            Item { Layout.fillWidth: true }
        }
        RowLayout {
            visible: row.isPasskey
            anchors.fill: parent
            spacing: Spacing.s
            // The site's globe, white on the selection's accent like the texts beside it.
            Symbol {
                objectName: "passkeyGlobe"
                Layout.preferredWidth: 20
                Layout.preferredHeight: 22
                source: "images/globe.svg"
                sourceSize.width: 40
                sourceSize.height: 44
                color: row.selected ? Theme.textOnAccent : Theme.accentText
            }
            ColumnLayout {
                spacing: Spacing.xxs
                Layout.fillWidth: true
                PlainLabel {
                    objectName: "username"
                    Layout.fillWidth: true
                    text: row.username
                    elide: Text.ElideRight
                    font.bold: true
                    color: row.selected ? Theme.textOnAccent : Theme.primaryText
                }
                PlainLabel {
                    objectName: "relyingParty"
                    Layout.fillWidth: true
                    text: row.relyingParty
                    elide: Text.ElideRight
                    color: row.selected ? Theme.textOnAccent : Theme.secondaryText
                }
            }
        }
    }
    background: Rectangle {
        color: row.selected ? Theme.accent : "transparent"
        // The separator under a passkey.
        Rectangle {
            visible: row.isPasskey && !row.selected
            anchors.bottom: parent.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: 48
            height: 1
            color: Theme.separator
        }
        // The keyboard's place: in the selection's text colour on the selection.
        FocusRing {
            shown: row.current && row.ListView.view !== null && row.ListView.view.activeFocus
            ringColor: row.selected ? Theme.textOnAccent : Theme.focusRing
        }
    }
}
