pragma Singleton
import QtQuick

// The gaps of every view, on a grid of four pixels, and the corners and control heights
// that the controls share. A view names a gap from here; sizes that are a view's own
// geometry (a sheet's width, a picture's side) stay in the view.
QtObject {
    readonly property int xxs: 4
    readonly property int xs: 8
    readonly property int s: 12
    readonly property int m: 16
    readonly property int l: 20
    readonly property int xl: 24
    readonly property int xxl: 32

    // Corners: of small controls (fields, alert buttons, menu entries), and of cards and rows.
    readonly property int smallCorner: 8
    readonly property int corner: 12

    // Control heights: compact (in a toolbar or a card), regular, and the large call to act.
    readonly property int compactHeight: 28
    readonly property int regularHeight: 32
    readonly property int tallHeight: 36
    readonly property int largeHeight: 44
}
