import QtQuick
import Keyvane.Views
import Keyvane.Extension
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The passkey choice of a sign-in request: the request's passkeys by token, a search field,
// and the bottom bar (refresh, cancel). Up and Down move the choice, Return takes it, Escape
// cancels the request; the login sheet covers the list until the passkey's token is unlocked.
FocusScope {
    id: root
    objectName: "macAuthView"
    required property PasskeyChoiceModel model
    implicitWidth: 464
    implicitHeight: 512
    focus: true

    Component.onCompleted: model.appeared()
    // Back from the login sheet, the search field has the keyboard again.
    readonly property bool sheetShown: model.loginSheetShown
    onSheetShownChanged: if (!sheetShown) searchField.forceActiveFocus()

    Keys.onUpPressed: model.moveChoice(-1)
    Keys.onDownPressed: model.moveChoice(1)
    Keys.onReturnPressed: model.alertShown ? model.alertReturnPressed() : model.chooseCurrent()
    Keys.onEnterPressed: model.alertShown ? model.alertReturnPressed() : model.chooseCurrent()
    Keys.onEscapePressed: model.alertShown ? model.alertEscapePressed() : model.cancel()

    Rectangle { anchors.fill: parent; color: Theme.background }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        // Behind the login sheet or an alert nothing takes the keyboard or a click.
        enabled: !root.model.loginSheetShown && !root.model.alertShown

        RowLayout {
            objectName: "searchBar"
            visible: root.model.searchBarShown
            Layout.fillWidth: true
            Layout.topMargin: 20
            Layout.rightMargin: 20
            spacing: 0
            Item { Layout.fillWidth: true }
            TextField {
                id: searchField
                objectName: "searchField"
                Layout.preferredWidth: 183
                Layout.preferredHeight: 24
                focus: true
                leftPadding: 30
                topPadding: 2
                bottomPadding: 2
                text: root.model.searchText
                onTextEdited: root.model.searchText = text
                placeholderText: Texts.text("PasskeysScreen_SearchField_Placeholder")
                placeholderTextColor: Theme.secondaryText
                color: Theme.primaryText
                font.family: Theme.fontFamily
                font.pixelSize: 13
                Accessible.name: placeholderText
                // The list's keys work while the field has the keyboard.
                Keys.onUpPressed: root.model.moveChoice(-1)
                Keys.onDownPressed: root.model.moveChoice(1)
                background: Rectangle {
                    radius: height / 2
                    color: Theme.card
                    border.width: searchField.activeFocus ? 1.5 : 1
                    border.color: searchField.activeFocus ? Theme.focusRing : Qt.rgba(Theme.primaryText.r, Theme.primaryText.g, Theme.primaryText.b, 0.08)
                    PlainLabel {
                        x: 10
                        anchors.verticalCenter: parent.verticalCenter
                        text: "\u2315"
                        font.family: Theme.fontFamily
                        font.pixelSize: 15
                        color: Theme.secondaryText
                    }
                }
            }
        }

        ListView {
            id: list
            objectName: "passkeyList"
            visible: root.model.content === PasskeyChoiceModel.PasskeyList
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.leftMargin: 20
            Layout.rightMargin: 20
            clip: true
            // A click on a row, by its place among the passkeys.
            signal chosen(int choice)
            onChosen: choice => root.model.choose(choice)
            model: root.model.rows
            currentIndex: root.model.currentRow
            highlightFollowsCurrentItem: false
            onCurrentIndexChanged: if (currentIndex >= 0) positionViewAtIndex(currentIndex, ListView.Contain)
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
            // One delegate for both kinds of entry: a section header or a passkey row.
            delegate: Item {
                id: entry
                required property var modelData
                required property int index
                width: ListView.view.width
                height: modelData.isHeader ? 32 + (modelData.firstSection ? 0 : 16) : 60
                RowLayout {
                    objectName: "sectionHeader_" + entry.modelData.serial
                    visible: entry.modelData.isHeader
                    anchors.fill: parent
                    spacing: 6
                    PlainLabel {
                        Layout.alignment: Qt.AlignBottom
                        Layout.bottomMargin: 8
                        text: entry.modelData.isHeader ? entry.modelData.model : ""
                        font.family: Theme.fontFamily
                        font.pixelSize: 13
                        font.bold: true
                        color: Theme.secondaryText
                    }
                    PlainLabel {
                        Layout.alignment: Qt.AlignBottom
                        Layout.bottomMargin: 8
                        text: entry.modelData.isHeader ? entry.modelData.serial : ""
                        font.family: Theme.fontFamily
                        font.pixelSize: 13
                        color: Theme.secondaryText
                    }
                    Item { Layout.fillWidth: true }
                }
                AbstractButton {
                    id: rowButton
                    objectName: entry.modelData.isHeader ? "" : "passkeyRow_" + entry.modelData.keyId
                    visible: !entry.modelData.isHeader
                    readonly property bool current: !entry.modelData.isHeader && entry.modelData.choice === root.model.currentChoice
                    anchors.fill: parent
                    Accessible.role: Accessible.Button
                    Accessible.name: entry.modelData.isHeader ? "" : entry.modelData.username + ", " + entry.modelData.relyingPartyId
                    focusPolicy: Qt.NoFocus
                    onClicked: entry.ListView.view.chosen(entry.modelData.choice)
                    background: Item {
                        Rectangle {
                            anchors.fill: parent
                            anchors.bottomMargin: 1
                            radius: 8
                            color: rowButton.current ? Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.14) : "transparent"
                        }
                        Rectangle {
                            x: 32
                            width: parent.width - 32
                            anchors.bottom: parent.bottom
                            height: 1
                            color: Theme.separator
                            opacity: 0.9
                        }
                    }
                    contentItem: RowLayout {
                        spacing: 12
                        Symbol {
                            Layout.preferredWidth: 20
                            Layout.preferredHeight: 22
                            Layout.leftMargin: 6
                            source: "images/globe.svg"
                            sourceSize.width: 40
                            sourceSize.height: 44
                            color: Theme.accentText
                        }
                        ColumnLayout {
                            spacing: 4
                            Layout.fillWidth: true
                            PlainLabel {
                                objectName: "passkeyUserName"
                                Layout.fillWidth: true
                                elide: Text.ElideRight
                                text: entry.modelData.isHeader ? "" : entry.modelData.username
                                font.family: Theme.fontFamily
                                font.pixelSize: 13
                                font.bold: true
                                color: Theme.primaryText
                            }
                            PlainLabel {
                                Layout.fillWidth: true
                                elide: Text.ElideRight
                                text: entry.modelData.isHeader ? "" : entry.modelData.relyingPartyId
                                font.family: Theme.fontFamily
                                font.pixelSize: 13
                                color: Theme.secondaryText
                            }
                        }
                    }
                }
            }
        }

        Item {
            objectName: "notFoundContent"
            visible: root.model.content === PasskeyChoiceModel.NotFound
            Layout.fillWidth: true
            Layout.fillHeight: true
            KeysNotFoundView {
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.verticalCenter: parent.verticalCenter
                anchors.verticalCenterOffset: 30
            }
        }

        Item {
            objectName: "emptyContent"
            visible: root.model.content === PasskeyChoiceModel.Empty
            Layout.fillWidth: true
            Layout.fillHeight: true
            ColumnLayout {
                anchors.centerIn: parent
                width: 352
                spacing: 0
                PlainLabel {
                    Layout.fillWidth: true
                    Layout.bottomMargin: 8
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: Texts.text("PasskeysScreen_EmptyView_Title")
                    font.family: Theme.fontFamily
                    font.pixelSize: 17
                    font.weight: Font.DemiBold
                    color: Theme.primaryText
                }
                PlainLabel {
                    Layout.fillWidth: true
                    Layout.bottomMargin: 32
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: Texts.text("PasskeysScreen_EmptyView_Description")
                    font.family: Theme.fontFamily
                    font.pixelSize: 13
                    color: Theme.secondaryText
                }
                SheetButton {
                    objectName: "largeRefreshButton"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.preferredWidth: 229
                    prominent: true
                    refreshMark: true
                    text: Texts.text("PasskeysScreen_SyncButton_Label")
                    onClicked: root.model.refresh()
                }
            }
        }

        // The bottom bar: refresh (not on the empty content, which has its own) and cancel.
        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 1
            color: Theme.separator
            opacity: 0.9
        }
        RowLayout {
            objectName: "bottomBar"
            Layout.fillWidth: true
            Layout.preferredHeight: 67
            Layout.leftMargin: 20
            Layout.rightMargin: 20
            SheetButton {
                objectName: "refreshButton"
                visible: root.model.content !== PasskeyChoiceModel.Empty
                refreshMark: true
                text: Texts.text("PasskeysScreen_SyncButton_Label")
                onClicked: root.model.refresh()
            }
            Item { Layout.fillWidth: true }
            SheetButton {
                objectName: "cancelRequestButton"
                text: Texts.text("SheetView_CancelButton_Label")
                onClicked: root.model.cancel()
            }
        }
    }

    AlertOverlay {
        anchors.fill: parent
        shown: root.model.alertShown
        title: root.model.alertTitle
        message: root.model.alertMessage
        buttons: root.model.alertButtons
        onPressed: index => root.model.pressAlertButton(index)
    }

    LoginSheetLayer {
        anchors.fill: parent
        host: root.model
    }
}
