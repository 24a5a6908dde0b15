import QtQuick
import Keyvane.Views
import Keyvane.Style
import Keyvane.Extension

// The shared login sheet over a request's view while the state holds a login purpose: built
// when it opens (the sheet's appearance starts token monitoring) and gone when it closes. It
// takes the keyboard while it shows.
Item {
    id: sheetLayer
    required property var host
    visible: loader.active
    // Clicks never reach the view behind.
    Scrim { anchors.fill: parent }
    Loader {
        id: loader
        objectName: "loginSheetLoader"
        anchors.centerIn: parent
        active: sheetLayer.host.loginSheetShown
        focus: active
        // The sheet takes the keyboard from whatever had it, also when it opens with the view.
        onLoaded: item.forceActiveFocus()
        sourceComponent: LoginSheet {
            model: sheetLayer.host.loginSheet
        }
    }
}
