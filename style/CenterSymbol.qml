import QtQuick

// A symbol of the views by name, drawn as its glyph of the Material Design Icons font. This is
// the one table of the symbols the window and the maker's pages use.
Text {
    // The symbol's name, e.g. "arrow.clockwise".
    property string name
    property real size: 14

    readonly property var glyphs: ({
        "square.grid.2x2": "\uF570",
        "square.stack.3d.up": "\uF328",
        "arrow.down.circle": "\uF048",
        "text.bubble": "\uF36A",
        "slider.horizontal.3": "\uF62E",
        "questionmark.circle": "\uF625",
        "desktopcomputer": "\uF1C4",
        "arrow.clockwise": "\uF450",
        "clapperboard": "\uF381",
        "arrow.right": "\uF054",
        "checkmark.circle": "\uF5E1",
        "network": "\uF59F",
        "chevron.left": "\uF141",
        "chevron.down": "\uF140",
        "xmark": "\uF156",
        "sparkles": "\uF068",
        "app.dashed": "\uF131",
        "wifi.exclamationmark": "\uF5AA",
        "exclamationmark.circle": "\uF5D6",
        "shippingbox": "\uF3D7"
    })

    text: glyphs[name] || ""
    font.family: "Material Design Icons"
    font.pixelSize: size
    color: CenterAppearance.ink
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    Accessible.ignored: true
}
