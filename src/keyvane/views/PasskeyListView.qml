import QtQuick
import Keyvane.Views
import Keyvane.Style
import Keyvane.MainWindow
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The passkey list: a section per token, made row by row as they come into view. Up and Down
// walk the passkeys, Space adds one to the selection or takes it out, Return selects it
// alone, Delete asks to delete the selection, Escape empties it. An empty list explains why
// and offers what helps.
FocusScope {
    id: root
    required property MainWindowModel model
    property alias list: passkeyList

    Rectangle { anchors.fill: parent; color: Theme.background }

    ListView {
        id: passkeyList
        objectName: "passkeyList"
        anchors.fill: parent
        anchors.topMargin: Spacing.xs
        visible: !root.model.listEmpty
        clip: true
        focus: true
        activeFocusOnTab: true
        boundsBehavior: Flickable.StopAtBounds
        highlightMoveDuration: 0
        reuseItems: true
        cacheBuffer: 600
        model: root.model.passkeys
        currentIndex: -1
        Accessible.role: Accessible.List
        Accessible.name: root.model.title

        function step(from, direction) { return root.model.passkeys.nextPasskeyRow(from, direction) }
        // The keyboard's place stays in view.
        onCurrentIndexChanged: if (currentIndex >= 0) positionViewAtIndex(currentIndex, ListView.Contain)
        // New rows (passkeys deleted after the confirmation, a search) may leave the place on
        // a header or the space after a section: it moves to the nearest passkey.
        function keepOnPasskey() { currentIndex = root.model.passkeys.passkeyRowNear(currentIndex) }
        onCountChanged: keepOnPasskey()
        Connections {
            target: passkeyList.model
            function onModelReset() { passkeyList.keepOnPasskey() }
        }
        onActiveFocusChanged: if (activeFocus && currentIndex < 0) currentIndex = step(-1, 1)
        Keys.onUpPressed: currentIndex = step(currentIndex, -1)
        Keys.onDownPressed: currentIndex = step(currentIndex, 1)
        Keys.onSpacePressed: root.model.toggleRow(currentIndex)
        Keys.onReturnPressed: root.model.chooseRow(currentIndex)
        Keys.onEnterPressed: root.model.chooseRow(currentIndex)
        Keys.onDeletePressed: root.model.deletePressed()
        Keys.onEscapePressed: root.model.clearSelection()

        delegate: PasskeyRow {
            current: ListView.isCurrentItem
            onChosen: (index, toggle) => {
                passkeyList.currentIndex = index
                passkeyList.forceActiveFocus()
                if (toggle) root.model.toggleRow(index)
                else root.model.chooseRow(index)
            }
        }
        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
    }

    ColumnLayout {
        objectName: "emptyList"
        visible: root.model.listEmpty
        anchors.centerIn: parent
        width: 288
        spacing: Spacing.m
        ColumnLayout {
            Layout.fillWidth: true
            Layout.topMargin: Spacing.xs
            Layout.bottomMargin: Spacing.xs
            spacing: Spacing.xs
            PlainLabel {
                objectName: "emptyTitle"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: root.model.emptyTitle
                font.pixelSize: TypeScale.title
                font.bold: true
                color: Theme.secondaryText
            }
            PlainLabel {
                objectName: "emptyDescription"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: root.model.emptyDescription
                color: Theme.secondaryText
            }
        }
        PushButton {
            objectName: "emptySyncButton"
            visible: root.model.emptyButton === MainWindowModel.SyncButton
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 182
            kind: PushButton.Prominent
            size: PushButton.Tall
            text: Texts.text("PasskeysScreen_SyncButton_Label")
            symbol: Symbols.sync
            activeFocusOnTab: visible
            focus: root.model.listEmpty
            onClicked: root.model.synchronise()
        }
        PushButton {
            objectName: "moreDetailsButton"
            visible: root.model.emptyButton === MainWindowModel.MoreDetailsButton
            Layout.alignment: Qt.AlignHCenter
            kind: PushButton.Outlined
            size: PushButton.Compact
            text: Texts.text("Action_MoreDetails")
            activeFocusOnTab: visible
            // The token's details sit in the sidebar: the button takes the keyboard there.
            onClicked: root.detailsRequested()
        }
    }
    signal detailsRequested()
}
