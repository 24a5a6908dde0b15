import QtQuick
import Keyvane.Views
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
        anchors.topMargin: 8
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
        spacing: 16
        ColumnLayout {
            Layout.fillWidth: true
            Layout.topMargin: 8
            Layout.bottomMargin: 8
            spacing: 8
            PlainLabel {
                objectName: "emptyTitle"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: root.model.emptyTitle
                font.family: Theme.fontFamily
                font.pixelSize: 17
                font.bold: true
                color: Theme.secondaryText
            }
            PlainLabel {
                objectName: "emptyDescription"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: root.model.emptyDescription
                font.family: Theme.fontFamily
                font.pixelSize: 13
                color: Theme.secondaryText
            }
        }
        Button {
            id: syncButton
            objectName: "emptySyncButton"
            visible: root.model.emptyButton === MainWindowModel.SyncButton
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 182
            Layout.preferredHeight: 36
            text: Texts.text("PasskeysScreen_SyncButton_Label")
            Accessible.name: text
            activeFocusOnTab: visible
            focus: root.model.listEmpty
            icon.source: "images/sync.svg"
            icon.width: 16
            icon.height: 16
            icon.color: Theme.textOnAccent
            font.family: Theme.fontFamily
            font.pixelSize: 13
            font.weight: Font.Medium
            palette.buttonText: Theme.textOnAccent
            onClicked: root.model.synchronise()
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()
            background: Rectangle {
                radius: 18
                color: Theme.accent
                border.width: syncButton.visualFocus ? 2 : 0
                border.color: Theme.primaryText
            }
        }
        Button {
            id: detailsButton
            objectName: "moreDetailsButton"
            visible: root.model.emptyButton === MainWindowModel.MoreDetailsButton
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredHeight: 28
            leftPadding: 17
            rightPadding: 17
            text: Texts.text("Action_MoreDetails")
            Accessible.name: text
            activeFocusOnTab: visible
            font.family: Theme.fontFamily
            font.pixelSize: 13
            font.weight: Font.Medium
            palette.buttonText: Theme.primaryText
            // The token's details sit in the sidebar: the button takes the keyboard there.
            onClicked: root.detailsRequested()
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()
            background: Rectangle {
                radius: height / 2
                color: detailsButton.down ? Theme.fill : Theme.card
                border.width: detailsButton.visualFocus ? 2 : 1
                border.color: detailsButton.visualFocus ? Theme.focusRing : Theme.separator
            }
        }
    }
    signal detailsRequested()
}
