import QtQuick
import QtQuick.Controls.Basic
import Kestryn.Style

// A quiet action: muted text that lights up while pressed, no fill.
Button {
    id: control

    // A symbol before the title, and a spinner in its place while busy.
    property string symbol: ""
    property bool busy: false
    property real textSize: 11

    leftPadding: 0
    rightPadding: 0
    topPadding: 7
    bottomPadding: 7
    font.pixelSize: textSize
    hoverEnabled: true

    readonly property color tint: down ? CenterAppearance.ink : CenterAppearance.muted

    contentItem: Row {
        spacing: 5
        opacity: control.enabled ? 1.0 : 0.5
        CenterSpinner {
            visible: control.busy
            size: 11
            anchors.verticalCenter: parent.verticalCenter
        }
        CenterSymbol {
            visible: !control.busy && control.symbol !== ""
            name: control.symbol
            size: control.textSize + 2
            color: control.tint
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            text: control.text
            font: control.font
            color: control.tint
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    background: Item {}
}
