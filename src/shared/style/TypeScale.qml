pragma Singleton
import QtQuick

// The text sizes of every view, by role, in one pinned font (the same drawing on every
// desktop). A label is body text unless it names another size; weight stays the view's choice.
QtObject {
    readonly property string family: "DejaVu Sans"
    // A sheet's or a step's title, the name on a request.
    readonly property int largeTitle: 22
    // What an empty list or a waiting prompt says first.
    readonly property int title: 17
    // Section titles, an alert's title, the window's title.
    readonly property int headline: 15
    // Everything else: rows, descriptions, buttons, fields.
    readonly property int body: 13
    // Notes under a view, counts and captions.
    readonly property int footnote: 11
}
