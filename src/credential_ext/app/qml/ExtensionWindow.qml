import QtQuick
import QtQuick.Window
import Keyvane.Views
import Keyvane.Extension

// The one window of a request: the registration view or the passkey choice, at the size of
// its kind (larger while the login sheet needs more room). Closing it cancels the request.
Window {
    id: window
    required property var host
    required property int frameWidth
    required property int frameHeight
    title: "Keyvane"
    visible: true
    color: Theme.background
    width: Math.max(frameWidth, loader.item ? loader.item.implicitWidth : 0)
    height: Math.max(frameHeight, loader.item ? loader.item.implicitHeight : 0)
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height

    onClosing: window.host.cancelByUser()

    Loader {
        id: loader
        anchors.fill: parent
        focus: true
        sourceComponent: window.host.registration ? registration : choice
    }
    Component {
        id: registration
        MacRegistrationView { model: window.host.rootModel }
    }
    Component {
        id: choice
        MacAuthView { model: window.host.rootModel }
    }
}
