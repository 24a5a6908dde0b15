import QtQuick
import QtQuick.Controls.Basic
import Keyvane.Style

// The push button of every view: a label (and a symbol before it, or a symbol alone) on one
// of four backgrounds. Plain lies on the faint fill, Prominent on the accent (on red when
// destructive), Outlined on the card colour inside a thin line, Flat on nothing until the
// pointer is over it. Return, Enter and Space press the button that has the keyboard, which
// shows the focus ring.
Button {
    id: control
    enum Kind { Plain, Prominent, Outlined, Flat }
    enum Size { Compact, Regular, Tall, Large }
    property int kind: PushButton.Plain
    property int size: PushButton.Regular
    // Destroys something: the label (or, prominent, the fill) is red.
    property bool destructive: false
    // A capsule, or a rectangle with small corners (alerts, toolbars).
    property bool capsule: true
    property url symbol
    property int symbolSize: 16
    property color labelColor: kind === PushButton.Prominent
        ? (destructive ? Theme.textOnDestructive : Theme.textOnAccent)
        : (destructive ? Theme.red : Theme.primaryText)
    readonly property bool symbolOnly: text === "" && String(symbol) !== ""
    readonly property real cornerRadius: capsule ? height / 2 : Spacing.smallCorner

    implicitWidth: symbolOnly ? implicitHeight + Spacing.xs
                              : Math.max(implicitBackgroundWidth, implicitContentWidth + leftPadding + rightPadding)
    leftPadding: symbolOnly ? 0 : Spacing.m
    rightPadding: symbolOnly ? 0 : Spacing.m
    font.family: TypeScale.family
    font.pixelSize: TypeScale.body
    font.weight: Font.Medium
    Accessible.name: text
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    // The label stays centred however wide the button is made.
    contentItem: Item {
        // The label's colour, as drawn.
        readonly property color color: control.labelColor
        implicitWidth: children[0].implicitWidth
        implicitHeight: children[0].implicitHeight
        Row {
            anchors.centerIn: parent
            spacing: Spacing.xs
            Symbol {
                visible: String(control.symbol) !== ""
                anchors.verticalCenter: parent.verticalCenter
                width: control.symbolSize
                height: control.symbolSize
                source: control.symbol
                sourceSize.width: control.symbolSize * 2
                sourceSize.height: control.symbolSize * 2
                color: control.labelColor
            }
            PlainLabel {
                visible: control.text !== ""
                anchors.verticalCenter: parent.verticalCenter
                text: control.text
                font: control.font
                color: control.labelColor
            }
        }
    }
    background: Rectangle {
        implicitHeight: [Spacing.compactHeight, Spacing.regularHeight, Spacing.tallHeight, Spacing.largeHeight][control.size]
        radius: control.cornerRadius
        color: {
            switch (control.kind) {
            case PushButton.Prominent: return control.destructive ? Theme.red : Theme.accent;
            case PushButton.Outlined: return control.down ? Theme.fill : Theme.card;
            case PushButton.Flat: return control.down || control.hovered ? Theme.fill : "transparent";
            default: return Theme.fill;
            }
        }
        border.width: control.kind === PushButton.Outlined ? 1 : 0
        border.color: Theme.separator
        opacity: !control.enabled ? 0.5
            : control.down && (control.kind === PushButton.Plain || control.kind === PushButton.Prominent) ? 0.8 : 1
        FocusRing {
            shown: control.visualFocus
            radius: control.cornerRadius
            overFill: control.kind === PushButton.Prominent
        }
    }
}
