import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The connected tokens: the supported ones to choose from, the others in a section that folds.
ScrollView {
    id: pane
    required property LoginSheetModel sheet
    // The first supported row takes the keyboard; Tab walks down the rows.
    focus: true
    ScrollBar.vertical.policy: ScrollBar.AlwaysOff
    ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
    contentWidth: availableWidth

    ColumnLayout {
        width: pane.availableWidth
        spacing: 0

        Item { Layout.preferredHeight: 12 }
        PlainLabel {
            objectName: "tokenListTitle"
            visible: pane.sheet.supportedTokens.count > 0
            Layout.fillWidth: true
            Layout.margins: Spacing.xs
            Layout.leftMargin: Spacing.m
            Layout.rightMargin: Spacing.m
            horizontalAlignment: Text.AlignHCenter
            text: Texts.text("ChooseVarnel_Title")
            font.pixelSize: TypeScale.headline
            font.bold: true
        }
        Repeater {
            model: pane.sheet.supportedTokens
            delegate: TokenRow {
                required property int index
                objectName: "tokenRow_" + serial
                Layout.fillWidth: true
                KeyNavigation.priority: KeyNavigation.BeforeItem
                focus: index === 0
                onClicked: pane.sheet.selectToken(serial)
            }
        }

        RowLayout {
            objectName: "unsupportedHeader"
            visible: pane.sheet.unsupportedTokens.count > 0
            Layout.fillWidth: true
            Layout.topMargin: (pane.sheet.supportedTokens.count > 0 ? 8 : 0) + 16
            Layout.bottomMargin: Spacing.xs
            Layout.leftMargin: Spacing.m
            Layout.rightMargin: Spacing.m
            spacing: Spacing.xs
            PlainLabel {
                text: Texts.text("ChooseVarnel_NonSupportedSection_Title")
                font.pixelSize: TypeScale.headline
                font.bold: true
            }
            Item { Layout.fillWidth: true }
            PlainLabel {
                objectName: "unsupportedCount"
                Layout.leftMargin: Spacing.xs
                Layout.rightMargin: Spacing.xs
                text: pane.sheet.unsupportedCountText
                color: Theme.secondaryText
                opacity: pane.sheet.unsupportedExpanded ? 0 : 1
                Behavior on opacity { NumberAnimation { duration: 160; easing.type: Easing.InOutQuad } }
            }
            AbstractButton {
                id: foldButton
                objectName: "unsupportedFoldButton"
                implicitWidth: 24
                implicitHeight: 24
                Accessible.role: Accessible.Button
                Accessible.name: Texts.text("ChooseVarnel_NonSupportedSection_Title")
                onClicked: pane.sheet.toggleUnsupported()
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()
                background: Item {
                    FocusRing {
                        shown: foldButton.visualFocus
                        radius: height / 2
                    }
                }
                contentItem: Image {
                    source: "images/chevron.svg"
                    sourceSize.width: 26
                    sourceSize.height: 26
                    fillMode: Image.Pad
                    rotation: pane.sheet.unsupportedExpanded ? 90 : 0
                    Behavior on rotation { NumberAnimation { duration: 160; easing.type: Easing.InOutQuad } }
                }
            }
        }
        Repeater {
            model: pane.sheet.unsupportedTokens
            delegate: TokenRow {
                objectName: "unsupportedRow_" + serial
                Layout.fillWidth: true
                // Folded rows keep their place and height; only their drawing goes.
                opacity: pane.sheet.unsupportedExpanded ? 0.85 : 0
                Behavior on opacity { NumberAnimation { duration: 160; easing.type: Easing.InOutQuad } }
            }
        }
        Item { Layout.preferredHeight: 12 }
    }
}
