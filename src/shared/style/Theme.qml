pragma Singleton
import QtQuick
import Keyvane.Style

// The colours of every view, by role. They follow the system palette's lightness (Qt 6.4
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

    // Every pair of these that the views draw one on the other is checked against the WCAG
    // contrast ratios in both appearances (views_tests, ThemeContrast): text at least 4.5:1,
    // parts that carry meaning (dots, icons, focus rings, switch tracks) at least 3:1.
    readonly property color background: dark ? "#1f2024" : "#f6f6f8"
    readonly property color card: dark ? "#2a2b30" : "#ffffff"
    readonly property color primaryText: dark ? "#f2f2f5" : "#1c1c1e"
    readonly property color secondaryText: dark ? "#a3a3ab" : "#636369"
    // The empty places of the master-password dots.
    readonly property color tertiaryLabel: dark ? "#7c7c85" : "#86868b"
    readonly property color fill: dark ? "#34353b" : "#e8e8ed"
    // Lines that only separate: no meaning of their own.
    readonly property color separator: dark ? "#3a3b41" : "#dcdce1"
    // The fill of prominent buttons and of the selection, under textOnAccent.
    readonly property color accent: "#2f6fe4"
    // Text and one-colour pictures in the accent's hue, on the background and on cards.
    readonly property color accentText: dark ? "#5b95ff" : "#2563d6"
    // The ring of the control that has the keyboard, on the background, cards and fills.
    readonly property color focusRing: dark ? "#5b95ff" : "#2f6fe4"
    // The filled master-password dots.
    readonly property color blue: dark ? "#0a84ff" : "#007aff"
    // Destructive actions (their labels and symbols) and the dots of a refused password.
    readonly property color red: dark ? "#ff7b72" : "#c4001a"
    // Text on a destructive button drawn as the default (filled with red).
    readonly property color textOnDestructive: dark ? "#1f2024" : "#ffffff"
    // Error text on the background and on cards.
    readonly property color error: dark ? "#ff7b72" : "#c4001a"
    // Text and knobs drawn on the accent colour.
    readonly property color textOnAccent: "#ffffff"
    // A switch's track, on and off; the knob is textOnAccent.
    readonly property color switchTrackOn: dark ? "#4f86ec" : "#2f6fe4"
    readonly property color switchTrackOff: dark ? "#8a8a93" : "#7c7c82"
    // The token pictures, drawn for the background they sit on.
    readonly property string tokenPicture: dark ? "token-dark.svg" : "token.svg"
    readonly property string unsupportedTokenPicture: dark ? "token-grey-dark.svg" : "token-grey.svg"
    // What lies under a sheet or an alert, over the view it covers.
    readonly property color scrim: dark ? "#99000000" : "#66000000"
}
