import QtQuick
import QtQuick.Controls.Basic
import Kestryn.Style

// The main action: dark text on the light fill; a disabled one is muted on the raised fill.
Button {
    id: control

    property bool busy: false

    leftPadding: 15
    rightPadding: 15
    topPadding: 9
    bottomPadding: 9
    font.pixelSize: 11
    font.weight: Font.Medium
    opacity: down ? 0.78 : 1.0

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
            color: control.enabled ? CenterAppearance.background : CenterAppearance.muted
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    background: Rectangle {
        radius: 7
        color: control.enabled ? CenterAppearance.primary : CenterAppearance.raised
    }
}
