import QtQuick
import Keyvane.Views
import Keyvane.Style
import Keyvane.Extension
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The passkey choice of a sign-in request: the request's passkeys by token, a search field,
// and the bottom bar (refresh, cancel). Up and Down move the choice, Return takes it, Escape
// cancels the request (the sheet routes Return and Escape to the alert while it shows); the
// login sheet covers the list until the passkey's token is unlocked.
Sheet {
    id: root
    objectName: "macAuthView"
    required property PasskeyChoiceModel model
    implicitWidth: 464
    implicitHeight: 512
    focus: true
    alerts: model
    acceptsReturn: true
    onAccepted: model.chooseCurrent()
    onCancelled: model.cancel()

    Component.onCompleted: model.appeared()
    // Back from the login sheet, the search field has the keyboard again.
    readonly property bool sheetShown: model.loginSheetShown
    onSheetShownChanged: if (!sheetShown) searchField.forceActiveFocus()

    Keys.onUpPressed: model.moveChoice(-1)
    Keys.onDownPressed: model.moveChoice(1)

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        // Behind the login sheet or an alert nothing takes the keyboard or a click.
        enabled: !root.model.loginSheetShown && !root.model.alertShown

        RowLayout {
            objectName: "searchBar"
            visible: root.model.searchBarShown
            Layout.fillWidth: true
            Layout.topMargin: Spacing.l
            Layout.rightMargin: Spacing.l
            spacing: 0
            Item { Layout.fillWidth: true }
            InputField {
                id: searchField
                objectName: "searchField"
                Layout.preferredWidth: 183
                Layout.preferredHeight: 24
                focus: true
                search: true
                topPadding: 2
                bottomPadding: 2
                text: root.model.searchText
                onTextEdited: root.model.searchText = text
                placeholderText: Texts.text("PasskeysScreen_SearchField_Placeholder")
                Accessible.name: placeholderText
                // The list's keys work while the field has the keyboard.
                Keys.onUpPressed: root.model.moveChoice(-1)
                Keys.onDownPressed: root.model.moveChoice(1)
            }
        }

        ListView {
            id: list
            objectName: "passkeyList"
            visible: root.model.content === PasskeyChoiceModel.PasskeyList
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.leftMargin: Spacing.l
            Layout.rightMargin: Spacing.l
            clip: true
            model: root.model.rows
            currentIndex: root.model.currentRow
            highlightFollowsCurrentItem: false
            onCurrentIndexChanged: if (currentIndex >= 0) positionViewAtIndex(currentIndex, ListView.Contain)
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
            // One delegate for both kinds of row: a section header or a passkey. A header after
            // another section keeps a gap above it.
            delegate: Item {
                id: entry
                required property int index
                required property int kind
                required property string tokenModel
                required property string serial
                required property string username
                required property string relyingParty
                required property string keyId
                required property int place
                readonly property bool isHeader: kind === PasskeyListModel.Header
                width: ListView.view.width
                height: isHeader ? 32 + (index === 0 ? 0 : Spacing.m) : 60
                RowLayout {
                    objectName: entry.isHeader ? "sectionHeader_" + entry.serial : ""
                    visible: entry.isHeader
                    anchors.fill: parent
                    spacing: 6
                    PlainLabel {
                        Layout.alignment: Qt.AlignBottom
                        Layout.bottomMargin: Spacing.xs
                        text: entry.tokenModel
                        font.bold: true
                        color: Theme.secondaryText
                    }
                    PlainLabel {
                        Layout.alignment: Qt.AlignBottom
                        Layout.bottomMargin: Spacing.xs
                        text: entry.serial
                        color: Theme.secondaryText
                    }
                    Item { Layout.fillWidth: true }
                }
                AbstractButton {
                    id: rowButton
                    objectName: entry.isHeader ? "" : "passkeyRow_" + entry.keyId
                    visible: !entry.isHeader
                    readonly property bool current: !entry.isHeader && entry.index === root.model.currentRow
                    anchors.fill: parent
                    Accessible.role: Accessible.Button
                    Accessible.name: entry.isHeader ? "" : entry.username + ", " + entry.relyingParty
                    focusPolicy: Qt.NoFocus
                    // A click chooses the passkey by its place among the passkeys.
                    onClicked: root.model.choose(entry.place)
                    background: Item {
                        Rectangle {
                            anchors.fill: parent
                            anchors.bottomMargin: 1
                            radius: Spacing.smallCorner
                            color: rowButton.current ? Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.14) : "transparent"
                        }
                        Rectangle {
                            x: Spacing.xxl
                            width: parent.width - Spacing.xxl
                            anchors.bottom: parent.bottom
                            height: 1
                            color: Theme.separator
                            opacity: 0.9
                        }
                    }
                    contentItem: RowLayout {
                        spacing: Spacing.s
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
                            spacing: Spacing.xxs
                            Layout.fillWidth: true
                            PlainLabel {
                                objectName: "passkeyUserName"
                                Layout.fillWidth: true
                                elide: Text.ElideRight
                                text: entry.username
                                font.bold: true
                            }
                            PlainLabel {
                                Layout.fillWidth: true
                                elide: Text.ElideRight
                                text: entry.relyingParty
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
                    Layout.bottomMargin: Spacing.xs
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: Texts.text("PasskeysScreen_EmptyView_Title")
                    font.pixelSize: TypeScale.title
                    font.weight: Font.DemiBold
                }
                PlainLabel {
                    Layout.fillWidth: true
                    Layout.bottomMargin: Spacing.xxl
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: Texts.text("PasskeysScreen_EmptyView_Description")
                    color: Theme.secondaryText
                }
                PushButton {
                    objectName: "largeRefreshButton"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.preferredWidth: 229
                    kind: PushButton.Prominent
                    size: PushButton.Large
                    symbol: Symbols.sync
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
            Layout.leftMargin: Spacing.l
            Layout.rightMargin: Spacing.l
            PushButton {
                objectName: "refreshButton"
                visible: root.model.content !== PasskeyChoiceModel.Empty
                symbol: Symbols.sync
                text: Texts.text("PasskeysScreen_SyncButton_Label")
                onClicked: root.model.refresh()
            }
            Item { Layout.fillWidth: true }
            PushButton {
                objectName: "cancelRequestButton"
                text: Texts.text("SheetView_CancelButton_Label")
                onClicked: root.model.cancel()
            }
        }
    }

    LoginSheetLayer {
        anchors.fill: parent
        host: root.model
    }
}
