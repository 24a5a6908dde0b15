import QtQuick
import Keyvane.Views
import QtQuick.Layouts

// What the passkey choice shows when a search matches no passkey: 352 wide plus its margins
// of 32, whatever its container offers.
Item {
    id: view
    objectName: "keysNotFoundView"
    implicitWidth: 352 + 64
    implicitHeight: column.implicitHeight + 64
    ColumnLayout {
        id: column
        x: 32
        y: 32
        width: 352
        spacing: 8
        PlainLabel {
            objectName: "notFoundTitle"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: Texts.text("PasskeysScreen_SearchView_NotFound_Title")
            font.family: Theme.fontFamily
            font.pixelSize: 22
            font.weight: Font.DemiBold
            color: Theme.primaryText
        }
        PlainLabel {
            objectName: "notFoundDescription"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: Texts.text("PasskeysScreen_SearchView_NotFound_Description")
            font.family: Theme.fontFamily
            font.pixelSize: 17
            color: Theme.secondaryText
        }
    }
}
