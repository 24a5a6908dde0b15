import QtQuick
import Keyvane.Views
import Keyvane.Style
import Keyvane.MainWindow
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The content of the main window: the toolbar, the sidebar of cards and the passkey list;
// over them the sheets the state drives (login, master-password settings), the About sheet,
// the confirmations, the core's alert and the onboarding layer. Ctrl+F goes to the search.
FocusScope {
    id: root
    objectName: "macMainView"
    required property MainWindowModel model
    // Where the onboarding layer and the About sheet take their view models (the program's
    // WindowLayersModel); without it neither shows.
    property QtObject layers: null
    focus: true

    readonly property bool onboardingShown: onboardingLoader.active
    // Only what is really on screen covers the window: an About request without a view to
    // show must not leave the window disabled behind nothing.
    readonly property bool covered: model.loginSheetShown || model.settingsShown || aboutLoader.active
        || model.deleteAlertShown || model.tokenDetails.deleteAlertShown || model.alertShown || onboardingShown

    Rectangle { anchors.fill: parent; color: Theme.background }

    FocusScope {
        id: content
        anchors.fill: parent
        focus: !root.covered
        enabled: !root.covered
        // Wherever the keyboard is in the window (unless a field takes the key itself): Delete
        // asks to delete the selection, Escape empties it.
        Keys.onDeletePressed: root.model.deletePressed()
        Keys.onEscapePressed: root.model.clearSelection()

        ColumnLayout {
            anchors.fill: parent
            spacing: 0

            // The toolbar: the sidebar's column keeps its width; over the list, the title and
            // the count, then the sync button and the menu, or while passkeys are selected
            // the delete and cancel buttons in the middle; the search field last.
            Rectangle {
                id: toolbar
                objectName: "toolbar"
                visible: !root.onboardingShown
                Layout.fillWidth: true
                Layout.preferredHeight: 52
                color: Theme.card
                Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: Theme.separator }
                // Over the sidebar: the program's mark and name.
                Row {
                    x: Spacing.l
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: Spacing.xs
                    Image {
                        objectName: "appLogo"
                        width: 24
                        height: 24
                        source: "images/logo.svg"
                        sourceSize.width: 48
                        sourceSize.height: 48
                    }
                    PlainLabel {
                        anchors.verticalCenter: parent.verticalCenter
                        text: Texts.text("AppName")
                        font.weight: Font.Medium
                        color: Theme.secondaryText
                    }
                }

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 304 + Spacing.m
                    anchors.rightMargin: Spacing.s
                    spacing: Spacing.xs
                    ColumnLayout {
                        spacing: 1
                        Layout.preferredWidth: 220
                        PlainLabel {
                            objectName: "listTitle"
                            Layout.fillWidth: true
                            text: root.model.title
                            elide: Text.ElideRight
                            font.pixelSize: TypeScale.headline
                            font.bold: true
                        }
                        PlainLabel {
                            objectName: "listSubtitle"
                            visible: text !== ""
                            Layout.fillWidth: true
                            text: root.model.subtitle
                            elide: Text.ElideRight
                            font.pixelSize: TypeScale.footnote
                            color: Theme.secondaryText
                        }
                    }
                    Item { Layout.fillWidth: true }
                    ToolbarButton {
                        objectName: "deleteSelectionButton"
                        visible: root.model.selectionCount > 0
                        symbol: Qt.resolvedUrl("images/trash.svg")
                        spokenName: Texts.counted("KeysChoose_DeleteButton", root.model.selectionCount)
                        destructive: true
                        onClicked: root.model.deletePressed()
                    }
                    ToolbarButton {
                        objectName: "cancelSelectionButton"
                        visible: root.model.selectionCount > 0
                        text: Texts.text("Action_Cancel_Label")
                        onClicked: root.model.clearSelection()
                    }
                    Item { Layout.fillWidth: true; visible: root.model.selectionCount > 0 }
                    ToolbarButton {
                        objectName: "syncButton"
                        visible: root.model.selectionCount === 0
                        symbol: Symbols.sync
                        spokenName: Texts.text("PasskeysScreen_SyncButton_Label")
                        onClicked: root.model.synchronise()
                    }
                    ToolbarButton {
                        id: menuButton
                        objectName: "menuButton"
                        visible: root.model.selectionCount === 0
                        symbol: Qt.resolvedUrl("images/ellipsis.svg")
                        spokenName: Texts.text("AppName")
                        // The menu is made on its first opening: most starts never open it.
                        property Menu menu: null
                        function openMenu() {
                            if (menu === null) menu = moreMenuComponent.createObject(menuButton)
                            menu.open()
                        }
                        onClicked: openMenu()
                        // Opened by the keyboard, the first entry has it.
                        Keys.onDownPressed: { openMenu(); menu.currentIndex = 0 }
                        Component {
                            id: moreMenuComponent
                            // Drawn in the window's colours, below the button and ending at
                            // its right edge, so it leaves the search field uncovered.
                            Menu {
                                objectName: "moreMenu"
                                x: menuButton.width - width
                                y: menuButton.height + 4
                                padding: 5
                                background: Rectangle {
                                    objectName: "moreMenuBackground"
                                    implicitWidth: 240
                                    radius: Spacing.smallCorner
                                    color: Theme.card
                                    border.width: 1
                                    border.color: Theme.separator
                                }
                                ToolbarMenuItem {
                                    objectName: "masterPasswordMenuItem"
                                    text: Texts.text("PasskeysScreen_MoreButton_Menu_GrandPass_Label")
                                    symbol: "images/password.svg"
                                    onTriggered: root.model.openMasterPasswordSettings()
                                }
                                ToolbarMenuItem {
                                    objectName: "aboutButton"
                                    text: Texts.text("PasskeysScreen_MoreButton_Menu_AboutApp_Label")
                                    symbol: "images/info.svg"
                                    onTriggered: root.model.openAbout()
                                }
                            }
                        }
                    }
                    InputField {
                        id: searchField
                        objectName: "searchField"
                        Layout.preferredWidth: 200
                        Layout.preferredHeight: 30
                        search: true
                        overCard: true
                        text: root.model.searchText
                        onTextEdited: root.model.searchText = text
                        placeholderText: Texts.text("PasskeysScreen_SearchField_Placeholder")
                        Accessible.name: Texts.text("PasskeysScreen_SearchField_Placeholder")
                        Keys.onEscapePressed: event => {
                            if (text !== "") { root.model.searchText = ""; text = "" } else event.accepted = false
                        }
                        Keys.onDownPressed: passkeyView.list.forceActiveFocus()
                    }
                }
            }

            RowLayout {
                Layout.fillWidth: true
                Layout.fillHeight: true
                spacing: 0
                SidebarView {
                    id: sidebar
                    Layout.preferredWidth: 304
                    Layout.fillHeight: true
                    model: root.model
                    focus: true
                }
                Rectangle { Layout.fillHeight: true; Layout.preferredWidth: 1; color: Theme.separator }
                PasskeyListView {
                    id: passkeyView
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    model: root.model
                    onDetailsRequested: sidebar.forceActiveFocus()
                }
            }
        }

        Shortcut {
            sequence: "Ctrl+F"
            enabled: !root.covered
            onActivated: searchField.forceActiveFocus()
        }
    }

    // A view made from its file while the loader is active. The file is read when the view
    // first shows, so the window starts without the types of the sheets and layers it does not
    // show; `modelOf` gives the view its model, which the view follows while it shows.
    component ViewLoader: Loader {
        property url file
        property var modelOf: () => null
        focus: active
        onActiveChanged: loadFile()
        Component.onCompleted: loadFile()
        function loadFile() {
            if (active && status === Loader.Null)
                setSource(file, { model: Qt.binding(modelOf) })
        }
    }

    // The sheets over the window, each on a scrim that takes the clicks. A loader becoming
    // active and inactive is the sheet appearing and disappearing.
    component Sheet: ViewLoader {
        anchors.centerIn: parent
        visible: active
    }
    Scrim {
        anchors.fill: parent
        visible: loginLoader.active || settingsLoader.active || aboutLoader.active
    }
    Sheet {
        id: settingsLoader
        objectName: "settingsSheetLoader"
        width: 464
        height: 512
        active: root.model.settingsShown
        file: "qrc:/qt/qml/Keyvane/Views/MasterPasswordSettingsSheet.qml"
        modelOf: () => root.model.settingsSheet
    }
    Sheet {
        id: loginLoader
        objectName: "loginSheetLoader"
        width: 416
        height: 395
        active: root.model.loginSheetShown
        file: "qrc:/qt/qml/Keyvane/Views/LoginSheet.qml"
        modelOf: () => root.model.loginSheet
    }
    Sheet {
        id: aboutLoader
        objectName: "aboutSheetLoader"
        width: 416
        height: 464
        active: root.model.aboutShown && root.layers !== null
        file: "MacAboutView.qml"
        modelOf: () => root.layers.about
        Keys.onEscapePressed: root.model.closeAbout()
    }

    // The confirmations and the core's alert, each made only while it shows: a window that
    // shows none of them starts without their items. A confirmation's keyboard starts on its
    // safe button; Return presses the button that has it, Escape cancels.
    component Cover: Loader {
        anchors.fill: parent
        focus: active
        visible: active
    }
    Cover {
        active: root.model.deleteAlertShown
        sourceComponent: AlertOverlay {
            objectName: "deleteConfirmation"
            shown: true
            focus: true
            title: root.model.deleteAlertTitle
            message: root.model.deleteAlertMessage
            buttons: root.model.deleteAlertButtons
            onPressed: index => root.model.pressDeleteAlertButton(index)
            Keys.onEscapePressed: root.model.cancelDelete()
        }
    }
    Cover {
        active: root.model.tokenDetails.deleteAlertShown
        sourceComponent: AlertOverlay {
            objectName: "tokenDeleteConfirmation"
            shown: true
            focus: true
            title: Texts.text("Alert_DeleteDeviceInfo_Title")
            message: Texts.text("Alert_DeleteDeviceInfo_Description")
            buttons: root.model.tokenDetails.deleteAlertButtons
            onPressed: index => root.model.tokenDetails.pressDeleteAlertButton(index)
            Keys.onEscapePressed: root.model.tokenDetails.cancelDelete()
        }
    }
    // The core's alert (a failed deletion, for one), while no sheet shows it itself; above
    // the onboarding too, since a failed step there raises it. Closed, the keyboard goes back
    // to the onboarding.
    Cover {
        z: 2
        active: root.model.alertShown
        onActiveChanged: if (!active && onboardingLoader.active) onboardingLoader.forceActiveFocus()
        sourceComponent: AlertOverlay {
            objectName: "alert"
            shown: true
            focus: true
            title: root.model.alertTitle
            message: root.model.alertMessage
            buttons: root.model.alertButtons
            onPressed: index => root.model.pressAlertButton(index)
            Keys.onEscapePressed: root.model.alertEscapePressed()
            Keys.onReturnPressed: root.model.alertReturnPressed()
            Keys.onEnterPressed: root.model.alertReturnPressed()
        }
    }

    // The onboarding, above everything while the state shows it; the toolbar hides meanwhile.
    ViewLoader {
        id: onboardingLoader
        objectName: "onboardingLayer"
        anchors.fill: parent
        z: 1
        active: root.model.onboardingShown && root.layers !== null
        file: "MacOnboardingView.qml"
        modelOf: () => root.layers.onboarding
    }
}
