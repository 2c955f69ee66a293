import QtQuick
import QtQuick.Layouts
import Kestryn.Style

// A titled group of settings on a panel.
ColumnLayout {
    id: group

    property string title
    default property alias content: body.data

    spacing: 10

    Text {
        text: group.title
        font.pixelSize: 13
        font.weight: Font.Medium
        color: CenterAppearance.ink
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: body.implicitHeight + 36
        radius: 12
        color: CenterAppearance.panel
        border.width: 1
        border.color: CenterAppearance.line
        ColumnLayout {
            id: body
            anchors.fill: parent
            anchors.margins: 18
            spacing: 10
        }
    }
}
