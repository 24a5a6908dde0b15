import QtQuick
import QtQuick.Window
import Keyvane.Views
import Keyvane.Style
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
    width: Math.max(frameWidth, loader.implicitWidth)
    height: Math.max(frameHeight, loader.implicitHeight)
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height

    onClosing: window.host.cancelByUser()

    Loader {
        id: loader
        anchors.fill: parent
        focus: true
        // The view of the request's kind, with its model.
        Component.onCompleted: setSource(window.host.registration
                                             ? "qrc:/qt/qml/Keyvane/Extension/MacRegistrationView.qml"
                                             : "qrc:/qt/qml/Keyvane/Extension/MacAuthView.qml",
                                         { model: window.host.rootModel })
    }
}
