pragma Singleton
import QtQuick

// The portal's symbols: glyphs of the Material Design Icons font (1.6.50) and the fonts it uses.
QtObject {
    readonly property string fontFamily: "Material Design Icons"
    readonly property string textFamily: "Noto Sans CJK SC"

    // mdi-refresh
    readonly property string reload: "\uF450"
    // mdi-close
    readonly property string close: "\uF156"
    // mdi-wifi-off
    readonly property string connectionProblem: "\uF5AA"
}
