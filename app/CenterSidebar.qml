import QtQuick
import Kestryn.Center
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kestryn.Style

// The sidebar: wordmark, pages, links and the installed-tools card.
Rectangle {
    id: sidebar

    property CenterModel center

    color: CenterAppearance.sidebar

    ColumnLayout {
        anchors.fill: parent
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        anchors.topMargin: 30
        anchors.bottomMargin: 20
        spacing: 4

        Image {
            objectName: "wordmark"
            visible: status === Image.Ready
            source: sidebar.center.wordmarkURL
            sourceSize: Qt.size(248, 56)
            fillMode: Image.PreserveAspectFit
            Layout.preferredWidth: 124
            Layout.preferredHeight: 28
            Layout.leftMargin: 6
        }
        Text {
            objectName: "wordmarkText"
            visible: sidebar.center.wordmarkURL.toString() === ""
            text: "kestryn"
            font.pixelSize: 28
            font.weight: Font.Medium
            font.letterSpacing: -1
            color: CenterAppearance.ink
            Layout.leftMargin: 6
        }
        Text {
            text: "软件中心"
            font.pixelSize: 11
            font.letterSpacing: 2
            color: CenterAppearance.muted
            Layout.leftMargin: 7
            Layout.bottomMargin: 22
        }

        Repeater {
            model: [
                { page: "all", text: "全部软件", symbol: "square.grid.2x2" },
                { page: "mine", text: "我的软件", symbol: "square.stack.3d.up" },
                { page: "updates", text: "软件更新", symbol: "arrow.down.circle" },
                { page: "feedback", text: "建议反馈", symbol: "text.bubble" },
                { page: "settings", text: "设置", symbol: "slider.horizontal.3" }
            ]
            delegate: CenterNavItem {
                required property var modelData
                center: sidebar.center
                text: modelData.text
                symbol: modelData.symbol
                page: modelData.page
                // The pages whose button counts what they list.
                count: page === "mine" ? sidebar.center.installedCount
                     : page === "updates" ? sidebar.center.updates.length : 0
                Layout.fillWidth: true
            }
        }

        Item { Layout.fillHeight: true }

        CenterQuietButton {
            objectName: "helpLink"
            text: "使用帮助"
            symbol: "questionmark.circle"
            Layout.leftMargin: 8
            onClicked: sidebar.center.openHelp()
        }
        CenterQuietButton {
            text: "官网 ↗"
            Layout.leftMargin: 8
            onClicked: sidebar.center.openWebsite()
        }
        CenterQuietButton {
            text: "打赏 ↗"
            Layout.leftMargin: 8
            Layout.bottomMargin: 10
            onClicked: sidebar.center.openSupport()
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 54
            radius: 10
            color: CenterAppearance.panel
            border.width: 1
            border.color: CenterAppearance.line
            RowLayout {
                anchors.fill: parent
                anchors.margins: 10
                spacing: 9
                CenterSymbol {
                    name: "desktopcomputer"
                    size: 18
                    color: CenterAppearance.purple
                }
                ColumnLayout {
                    spacing: 2
                    Text {
                        text: "这台 Mac"
                        font.pixelSize: 12
                        font.weight: Font.Medium
                        color: CenterAppearance.ink
                    }
                    Text {
                        objectName: "installedLine"
                        text: sidebar.center.installedLine
                        font.pixelSize: 10
                        color: CenterAppearance.muted
                    }
                }
            }
        }
    }
}
