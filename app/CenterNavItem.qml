import QtQuick
import Kestryn.Center
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kestryn.Style

// One page of the sidebar, with its count when there is one.
AbstractButton {
    id: item

    property CenterModel center
    property string symbol
    // The page's name: "all", "mine", "updates", "feedback" or "settings".
    property string page
    property int count: 0

    readonly property bool current: center.pageName === page

    objectName: "navItem-" + page
    implicitHeight: 34
    onClicked: center.openPage(page)

    background: Rectangle {
        radius: 8
        color: item.current ? CenterAppearance.selected : (item.hovered ? "#19181D" : "transparent")
    }
    contentItem: RowLayout {
        spacing: 9
        CenterSymbol {
            name: item.symbol
            size: 15
            color: item.current ? CenterAppearance.purple : CenterAppearance.muted
            Layout.leftMargin: 10
            Layout.preferredWidth: 18
        }
        Text {
            text: item.text
            font.pixelSize: 13
            color: item.current ? CenterAppearance.ink : CenterAppearance.muted
            Layout.fillWidth: true
        }
        Rectangle {
            objectName: "navBadge-" + item.page
            visible: item.count >= 1
            implicitWidth: Math.max(18, badgeText.implicitWidth + 10)
            implicitHeight: 18
            radius: 9
            color: CenterAppearance.raised
            Layout.rightMargin: 8
            Text {
                id: badgeText
                objectName: "navBadgeText-" + item.page
                anchors.centerIn: parent
                text: item.count
                font.pixelSize: 10
                color: CenterAppearance.purple
            }
        }
    }
}
