import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Layouts

// The two-step entry of a new master password: typed, then repeated. 352 × 256.
Sheet {
    id: view
    required property MasterPassInputModel input
    signal closeRequested()
    implicitWidth: 352
    implicitHeight: 256
    color: Theme.card
    radius: Spacing.corner
    onCancelled: view.closeRequested()

    CloseButton {
        objectName: "doubleInputCloseButton"
        x: Spacing.m
        y: Spacing.m
        onClicked: view.closeRequested()
    }
    ColumnLayout {
        anchors.fill: parent
        anchors.topMargin: 44
        Item { Layout.fillHeight: true }
        MasterPassInputField {
            objectName: "doubleInputField"
            Layout.alignment: Qt.AlignHCenter
            focus: true
            input: view.input
        }
        Item { Layout.fillHeight: true }
        PlainLabel {
            Layout.alignment: Qt.AlignHCenter
            Layout.maximumWidth: 320
            Layout.bottomMargin: Spacing.xxl
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: Texts.text("EnterGrandPassView_Footnote")
            font.pixelSize: TypeScale.footnote
            color: Theme.secondaryText
        }
    }
}
