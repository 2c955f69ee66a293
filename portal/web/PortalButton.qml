import QtQuick
import QtQuick.Controls

// A flat button of the portal: a symbol with a help text, or a short text.
Button {
    id: button

    // A glyph of PortalSymbols; the button then shows it instead of its text.
    property string symbol: ""
    // The help text shown on hover.
    property string help: ""
    // A framed button, for the main action of a panel.
    property bool bordered: false

    implicitHeight: 30
    implicitWidth: symbol !== "" ? 30 : label.implicitWidth + 24
    hoverEnabled: true
    ToolTip.visible: help !== "" && hovered
    ToolTip.text: help
    ToolTip.delay: 600

    contentItem: Text {
        id: label
        text: button.symbol !== "" ? button.symbol : button.text
        font.family: button.symbol !== "" ? PortalSymbols.fontFamily : PortalSymbols.textFamily
        font.pixelSize: button.symbol !== "" ? 18 : 13
        color: "#EEEEF1"
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    background: Rectangle {
        radius: 6
        color: button.down ? "#28272D" : (button.hovered || button.bordered ? "#222027" : "transparent")
        border.width: button.bordered ? 1 : 0
        border.color: "#28272D"
    }
}
