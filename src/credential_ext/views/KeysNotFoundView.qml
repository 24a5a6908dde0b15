import QtQuick
import Keyvane.Views
import Keyvane.Style
import QtQuick.Layouts

// What the passkey choice shows when a search matches no passkey: 352 wide plus its margins
// of 32, whatever its container offers.
Item {
    id: view
    objectName: "keysNotFoundView"
    implicitWidth: 352 + 2 * Spacing.xxl
    implicitHeight: column.implicitHeight + 2 * Spacing.xxl
    ColumnLayout {
        id: column
        x: Spacing.xxl
        y: Spacing.xxl
        width: 352
        spacing: Spacing.xs
        PlainLabel {
            objectName: "notFoundTitle"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: Texts.text("PasskeysScreen_SearchView_NotFound_Title")
            font.pixelSize: TypeScale.largeTitle
            font.weight: Font.DemiBold
        }
        PlainLabel {
            objectName: "notFoundDescription"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: Texts.text("PasskeysScreen_SearchView_NotFound_Description")
            font.pixelSize: TypeScale.title
            color: Theme.secondaryText
        }
    }
}
