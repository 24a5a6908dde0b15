import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A plain view of the state until the main window is built: it only shows what the store
// holds. Watching for tokens starts with the view, as the login window does when it appears.
Pane {
    id: root
    objectName: "macMainView"

    Component.onCompleted: appState.startMonitoring()
    Component.onDestruction: appState.stopMonitoring()

    component Section: ColumnLayout {
        property alias title: heading.text
        property var lines: []
        property string emptyText: "none"
        Layout.fillWidth: true
        Label { id: heading; font.bold: true; font.pixelSize: 15 }
        Repeater {
            model: lines
            Label { text: modelData; font.pixelSize: 13; Layout.leftMargin: 12 }
        }
        Label { visible: lines.length === 0; text: emptyText; font.pixelSize: 13; opacity: 0.6; Layout.leftMargin: 12 }
    }

    ScrollView {
        anchors.fill: parent
        ColumnLayout {
            width: root.availableWidth
            spacing: 14
            Label { text: "Keyvane"; font.pixelSize: 22; font.bold: true }
            Label { objectName: "onboardingStatus"; text: "Onboarding: " + appState.onboardingStatus; font.pixelSize: 13 }
            Label { text: "Master password: " + appState.masterPassword + (appState.pinsCached ? " · PINs cached" : ""); font.pixelSize: 13 }
            Label { text: "Login pane: " + appState.loginPane; font.pixelSize: 13 }
            Label { visible: appState.alert !== ""; text: "Alert: " + appState.alert; color: "firebrick"; font.pixelSize: 13 }
            Section { title: "Connected tokens"; lines: appState.connectedTokens; emptyText: "waiting for a token" }
            Section { title: "Known tokens"; lines: appState.storedTokens }
            Section { title: "Passkeys"; lines: appState.passkeys }
        }
    }
}
