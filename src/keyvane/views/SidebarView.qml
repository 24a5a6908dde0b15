import QtQuick
import Keyvane.Views
import Keyvane.Style
import Keyvane.MainWindow
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The sidebar: the all-passkeys card and one card per token; below them, while a token is
// chosen, its details. Up and Down walk the cards, Space or Return chooses one.
FocusScope {
    id: root
    required property MainWindowModel model
    property alias cards: cardList
    implicitWidth: 304
    // The choice can change without the keyboard (a token's records went away): the
    // keyboard's place follows it.
    readonly property int chosenCard: model.chosenCard
    onChosenCardChanged: cardList.currentIndex = chosenCard

    Rectangle { anchors.fill: parent; color: Theme.card }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        ListView {
            id: cardList
            objectName: "sidebarCards"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.topMargin: Spacing.xs
            clip: true
            focus: true
            activeFocusOnTab: true
            boundsBehavior: Flickable.StopAtBounds
            keyNavigationWraps: false
            highlightMoveDuration: 0
            model: root.model.sidebar
            Accessible.role: Accessible.List
            Accessible.name: Texts.text("Passkeys_AllPasskeys_Name")
            // The chosen card (by keyboard, or after the token list changed) stays in view.
            onCurrentIndexChanged: if (currentIndex >= 0) positionViewAtIndex(currentIndex, ListView.Contain)
            Keys.onSpacePressed: root.model.chooseCard(currentIndex)
            Keys.onReturnPressed: root.model.chooseCard(currentIndex)
            Keys.onEnterPressed: root.model.chooseCard(currentIndex)
            delegate: SidebarCard {
                current: ListView.isCurrentItem
                onChosen: index => {
                    cardList.currentIndex = index
                    cardList.forceActiveFocus()
                    root.model.chooseCard(index)
                }
            }
        }
        // The chosen token's details, made while a token is chosen; they fade in.
        Loader {
            Layout.fillWidth: true
            active: root.model.tokenChosen
            visible: active
            sourceComponent: TokenInfoView {
                model: root.model.tokenDetails
                opacity: 0
                Component.onCompleted: opacity = 1
                Behavior on opacity { enabled: Theme.animated; NumberAnimation { duration: 160 } }
            }
        }
    }
}
