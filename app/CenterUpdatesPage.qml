import QtQuick
import Kestryn.Center
import QtQuick.Layouts
import Kestryn.Style

// Software updates: where the catalog comes from, the products with an update, how updating
// works.
ColumnLayout {
    id: page

    property CenterModel center

    spacing: 22

    CenterHeading {
        center: page.center
        title: "软件更新"
        subtitle: "查看版本变化，按需要更新你的工具。"
        showCheck: true
        Layout.fillWidth: true
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: 64
        radius: 12
        color: CenterAppearance.panel
        border.width: 1
        border.color: CenterAppearance.line
        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 18
            anchors.rightMargin: 18
            spacing: 12
            CenterSymbol {
                name: "network"
                size: 20
                color: CenterAppearance.purple
            }
            ColumnLayout {
                spacing: 3
                Layout.fillWidth: true
                Text {
                    objectName: "sourceLabel"
                    Layout.fillWidth: true
                    text: page.center.sourceLabel
                    font.pixelSize: 13
                    color: CenterAppearance.ink
                }
                Text {
                    objectName: "lastCheckedLine"
                    text: page.center.lastCheckedLine
                    font.pixelSize: 11
                    color: CenterAppearance.muted
                }
            }
            CenterQuietButton {
                text: "设置更新源"
                onClicked: page.center.openPage("settings")
            }
            CenterPrimaryButton {
                objectName: "updateAllButton"
                text: "全部更新"
                enabled: page.center.canUpdateAll
                onClicked: page.center.updateAll()
            }
        }
    }
    CenterProductList {
        id: updates
        center: page.center
        scope: CenterProductList.Updates
    }
    CenterEmptyState {
        visible: updates.count === 0
        symbol: "checkmark.circle"
        title: "未发现可用更新"
        subtitle: "已检测本机版本，当前更新目录中没有更高版本。"
        Layout.alignment: Qt.AlignHCenter
        Layout.topMargin: 30
        Layout.bottomMargin: 30
    }
    ColumnLayout {
        visible: updates.count > 0
        spacing: 0
        Layout.fillWidth: true
        Repeater {
            model: updates
            delegate: CenterProductRow {
                center: page.center
                product: model
                updating: true
                Layout.fillWidth: true
            }
        }
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: howTo.implicitHeight + 32
        radius: 12
        color: CenterAppearance.panel
        border.width: 1
        border.color: CenterAppearance.line
        ColumnLayout {
            id: howTo
            anchors.fill: parent
            anchors.margins: 16
            spacing: 6
            Text {
                text: "更新怎么进行"
                font.pixelSize: 13
                font.weight: Font.Medium
                color: CenterAppearance.ink
            }
            Text {
                text: "检查版本 → 查看更新内容 → 下载并安装。"
                font.pixelSize: 11
                color: CenterAppearance.muted
            }
            Text {
                text: "更新正在使用的软件前，请先退出对应软件；澄光工坊需要先保存工程并退出 Final Cut Pro。"
                font.pixelSize: 11
                color: CenterAppearance.muted
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
        }
    }
}
