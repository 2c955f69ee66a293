import QtQuick
import Kestryn.Center
import QtQuick.Layouts
import Kestryn.Style

// My software: the installed products, or how to get some.
ColumnLayout {
    id: page

    property CenterModel center

    spacing: 22

    CenterHeading {
        center: page.center
        title: "我的软件"
        subtitle: "这台 Mac 上的创作工具，随时准备就绪。"
        showCheck: true
        Layout.fillWidth: true
    }
    CenterProductList {
        id: installed
        center: page.center
        scope: CenterProductList.Installed
    }
    ColumnLayout {
        visible: installed.count === 0
        spacing: 16
        Layout.fillWidth: true
        Layout.topMargin: 60
        CenterEmptyState {
            symbol: "square.stack.3d.up"
            title: "还没有检测到已安装软件"
            subtitle: "从全部软件开始，或导入已有的 KESTRYN 安装包。"
            Layout.alignment: Qt.AlignHCenter
        }
        CenterSecondaryButton {
            objectName: "emptyImportButton"
            text: "导入安装包"
            Layout.alignment: Qt.AlignHCenter
            onClicked: page.center.importInstaller()
        }
    }
    ColumnLayout {
        visible: installed.count > 0
        spacing: 0
        Layout.fillWidth: true
        Repeater {
            model: installed
            delegate: CenterProductRow {
                center: page.center
                product: model
                Layout.fillWidth: true
            }
        }
        Text {
            text: "软件可以独立使用，关闭软件中心不会影响创作。"
            font.pixelSize: 11
            color: CenterAppearance.faint
            Layout.topMargin: 14
        }
    }
}
