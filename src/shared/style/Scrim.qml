import QtQuick
import Keyvane.Style

// The dimmed cover under a sheet or an alert: it takes every click, so none reaches the view
// behind it.
Rectangle {
    color: Theme.scrim
    MouseArea { anchors.fill: parent; acceptedButtons: Qt.AllButtons }
}
