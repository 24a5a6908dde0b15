import QtQuick
import Keyvane.Style

// The ring round the control that has the keyboard: the one way every view shows it. Put
// inside the control's background (it fills it and takes its corner), or placed round a
// shape of its own. Over the accent or a destructive fill it is drawn in the label colour,
// where the ring's blue would vanish.
Rectangle {
    // Whether the ring shows: the control's visualFocus (keyboard focus), or activeFocus for
    // fields, which are typed into however they got the keyboard.
    property bool shown: false
    // The ring lies over the accent or a destructive fill.
    property bool overFill: false
    property color ringColor: overFill ? Theme.primaryText : Theme.focusRing
    anchors.fill: parent
    visible: shown
    color: "transparent"
    border.width: 2
    border.color: ringColor
    antialiasing: true
}
