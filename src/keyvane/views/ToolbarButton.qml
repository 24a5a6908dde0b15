import QtQuick
import Keyvane.Style

// A toolbar button: a symbol (in the label colour, red when it destroys) or a short text, on
// nothing until the pointer is over it.
PushButton {
    property string spokenName
    kind: PushButton.Flat
    size: PushButton.Compact
    capsule: false
    symbolSize: 18
    Accessible.name: spokenName !== "" ? spokenName : text
}
