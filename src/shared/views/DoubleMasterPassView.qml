import QtQuick
import Keyvane.Views
import QtQuick.Layouts

// The two-step entry of a new master password: typed, then repeated. 352 × 256.
FocusScope {
    id: view
    required property MasterPassInputModel input
    signal closeRequested()
    implicitWidth: 352
    implicitHeight: 256
    Keys.onEscapePressed: view.closeRequested()

    Rectangle { anchors.fill: parent; radius: 12; color: Theme.card }
    CloseButton {
        objectName: "doubleInputCloseButton"
        x: 16
        y: 16
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
            Layout.bottomMargin: 32
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: Texts.text("EnterGrandPassView_Footnote")
            font.family: Theme.fontFamily
            font.pixelSize: 11
            color: Theme.secondaryText
        }
    }
}
