import QtQuick
import QtQuick.Controls.Basic
import Kestryn.Style

// A second action: accent text on the raised fill with a hairline border.
Button {
    id: control

    property bool busy: false

    leftPadding: 13
    rightPadding: 13
    topPadding: 9
    bottomPadding: 9
    font.pixelSize: 11
    font.weight: Font.Medium
    opacity: down ? 0.72 : 1.0

    contentItem: Row {
        spacing: 5
        CenterSpinner {
            visible: control.busy
            size: 10
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            text: control.text
            font: control.font
            color: CenterAppearance.purple
            opacity: control.enabled ? 1.0 : 0.45
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    background: Rectangle {
        radius: 7
        color: CenterAppearance.raised
        border.width: 1
        border.color: CenterAppearance.line
    }
}
