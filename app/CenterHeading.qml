import QtQuick
import Kestryn.Center
import QtQuick.Layouts
import Kestryn.Style

// A page's title and subtitle and, on the product pages, the check button.
RowLayout {
    id: heading

    property CenterModel center
    property string title
    property string subtitle
    property bool showCheck: false

    spacing: 12

    ColumnLayout {
        spacing: 6
        Layout.fillWidth: true
        Text {
            objectName: "pageTitle"
            Layout.fillWidth: true
            text: heading.title
            font.pixelSize: 27
            font.weight: Font.Medium
            font.letterSpacing: -0.8
            color: CenterAppearance.ink
        }
        Text {
            text: heading.subtitle
            font.pixelSize: 12
            color: CenterAppearance.muted
        }
    }
    CenterQuietButton {
        objectName: "checkButton"
        visible: heading.showCheck
        Layout.alignment: Qt.AlignTop
        text: heading.center.isChecking ? "正在检查" : "检查更新"
        symbol: "arrow.clockwise"
        busy: heading.center.isChecking
        enabled: heading.center.canCheck
        onClicked: heading.center.checkUpdates()
    }
}
