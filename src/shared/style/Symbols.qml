pragma Singleton
import QtQuick

// The one-colour symbols that both programs' views show, drawn by Symbol in a theme colour.
QtObject {
    readonly property url sync: Qt.resolvedUrl("images/sync.svg")
    readonly property url search: Qt.resolvedUrl("images/search.svg")
}
