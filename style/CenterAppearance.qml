pragma Singleton
import QtQuick

// The one dark palette of the window and the maker's pages, whatever the desktop's theme, and
// the family of their texts.
QtObject {
    readonly property color background: "#0C0C0F"
    readonly property color sidebar: "#111114"
    readonly property color panel: "#151518"
    readonly property color raised: "#222027"
    readonly property color line: "#28272D"
    readonly property color ink: "#EEEEF1"
    readonly property color muted: "#A1A0A9"
    readonly property color faint: "#73727D"
    readonly property color purple: "#C7B3ED"
    readonly property color selected: "#26222E"
    readonly property color primary: "#EEEAF5"

    readonly property string textFamily: "Noto Sans CJK SC"
}
