import QtQuick
import QtQuick.Controls
import Kestryn.Style

// A flat button of the portal: a symbol with a help text, or a short text.
Button {
    id: button

    // A symbol's name (CenterSymbol); the button then shows it instead of its text.
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

    contentItem: Item {
        CenterSymbol {
            anchors.fill: parent
            visible: button.symbol !== ""
            name: button.symbol
            size: 18
        }
        Text {
            id: label
            anchors.fill: parent
            visible: button.symbol === ""
            text: button.text
            font.family: CenterAppearance.textFamily
            font.pixelSize: 13
            color: CenterAppearance.ink
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
    }

    background: Rectangle {
        radius: 6
        color: button.down ? CenterAppearance.line
                           : (button.hovered || button.bordered ? CenterAppearance.raised : "transparent")
        border.width: button.bordered ? 1 : 0
        border.color: CenterAppearance.line
    }
}
