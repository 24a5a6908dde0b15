pragma Singleton
import QtQuick
import Keyvane.Views

// Colours and the font of the shared views. They follow the system palette's lightness (Qt 6.4
// has no colour-scheme hint); the host or a screenshot run may pin an appearance.
QtObject {
    // Theme.System follows the palette; Light and Dark pin it.
    enum Appearance { System, Light, Dark }
    property int appearance: Theme.System
    // Transitions between two states of a view; a test pins it off to read the end state of
    // a change at once (the steps themselves run on the view models' clock).
    property bool animated: true

    readonly property SystemPalette palette: SystemPalette {}
    readonly property bool dark: appearance === Theme.Dark
        || (appearance === Theme.System && palette.window.hslLightness < 0.5)

    readonly property color background: dark ? "#1f2024" : "#f6f6f8"
    readonly property color card: dark ? "#2a2b30" : "#ffffff"
    readonly property color primaryText: dark ? "#f2f2f5" : "#1c1c1e"
    readonly property color secondaryText: dark ? "#a3a3ab" : "#6c6c73"
    readonly property color tertiaryLabel: dark ? "#4a4a52" : "#d1d1d6"
    readonly property color fill: dark ? "#34353b" : "#e8e8ed"
    readonly property color separator: dark ? "#3a3b41" : "#dcdce1"
    readonly property color accent: dark ? "#5b95ff" : "#2f6fe4"
    readonly property color blue: dark ? "#0a84ff" : "#007aff"
    readonly property color red: dark ? "#ff453a" : "#ff3b30"
    // Error text on the background and on cards: darker than red in light so small text reads.
    readonly property color error: dark ? "#ff6961" : "#d70015"
    // Text and knobs drawn on the accent colour.
    readonly property color textOnAccent: "#ffffff"
    // A switch's track when off: visible against the card fill in either appearance.
    readonly property color switchTrackOff: dark ? "#5a5a63" : "#c7c7cc"
    readonly property color scrim: dark ? "#99000000" : "#66000000"
    readonly property string fontFamily: "DejaVu Sans"
}
