import QtQuick
import QtQuick.Layouts
import Kestryn.Style

// The placeholder of an empty list.
ColumnLayout {
    property string symbol
    property string title
    property string subtitle

    objectName: "emptyState"
    spacing: 8

    CenterSymbol {
        name: parent.symbol
        size: 29
        font.weight: Font.Light
        color: CenterAppearance.ink
        opacity: 0.65
        Layout.alignment: Qt.AlignHCenter
    }
    Text {
        objectName: "emptyStateTitle"
        text: parent.title
        font.pixelSize: 14
        font.weight: Font.Medium
        color: CenterAppearance.ink
        Layout.alignment: Qt.AlignHCenter
    }
    Text {
        text: parent.subtitle
        font.pixelSize: 11
        color: CenterAppearance.muted
        horizontalAlignment: Text.AlignHCenter
        Layout.alignment: Qt.AlignHCenter
    }
}
