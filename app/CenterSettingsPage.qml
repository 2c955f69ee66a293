import QtQuick
import Kestryn.Center
import QtQuick.Layouts
import Kestryn.Style

// Settings: the catalog address and automatic checks, the center's own update feed, the
// version history's disk use and retention, and installation and support.
ColumnLayout {
    id: page

    property CenterModel center

    spacing: 22

    CenterHeading {
        center: page.center
        title: "设置"
        subtitle: "把更新和安装，按自己的习惯安排。"
        Layout.fillWidth: true
    }

    CenterSettingsGroup {
        title: "工具更新"
        Layout.fillWidth: true
        Text {
            text: "更新目录地址"
            font.pixelSize: 11
            color: CenterAppearance.muted
        }
        RowLayout {
            spacing: 10
            Layout.fillWidth: true
            CenterFeedField {
                objectName: "feedField"
                placeholderText: "https://…/catalog.json"
                text: page.center.preferences.feedURL
                onTextEdited: page.center.preferences.feedURL = text
                Layout.fillWidth: true
            }
            CenterSecondaryButton {
                objectName: "saveFeedButton"
                text: "保存"
                onClicked: page.center.preferences.saveFeedURL()
            }
        }
        Text {
            text: page.center.sourceLabel
            font.pixelSize: 11
            color: CenterAppearance.faint
        }
        RowLayout {
            spacing: 10
            Layout.topMargin: 4
            Layout.fillWidth: true
            ColumnLayout {
                spacing: 3
                Layout.fillWidth: true
                Text {
                    Layout.fillWidth: true
                    text: "自动检查工具更新"
                    font.pixelSize: 12
                    color: CenterAppearance.ink
                }
                Text {
                    text: "软件中心运行期间定期检查，可随时关闭。"
                    font.pixelSize: 11
                    color: CenterAppearance.muted
                }
            }
            CenterSwitch {
                objectName: "autoCheckSwitch"
                checked: page.center.preferences.autoCheck
                onToggled: page.center.preferences.autoCheck = checked
            }
        }
    }

    CenterSettingsGroup {
        title: "软件中心自身更新"
        Layout.fillWidth: true
        Text {
            text: "订阅地址"
            font.pixelSize: 11
            color: CenterAppearance.muted
        }
        RowLayout {
            spacing: 10
            Layout.fillWidth: true
            CenterFeedField {
                objectName: "centerFeedField"
                placeholderText: "https://…/appcast.xml"
                text: page.center.preferences.centerFeedURL
                onTextEdited: page.center.preferences.centerFeedURL = text
                Layout.fillWidth: true
            }
            CenterSecondaryButton {
                text: "保存"
                onClicked: page.center.preferences.saveCenterFeedURL()
            }
        }
        RowLayout {
            Layout.fillWidth: true
            Text {
                text: page.center.preferences.centerFeedLine
                font.pixelSize: 11
                color: CenterAppearance.faint
                Layout.fillWidth: true
            }
            CenterQuietButton {
                text: "检查中心更新"
                onClicked: page.center.checkCenterUpdate()
            }
        }
    }

    CenterSettingsGroup {
        title: "历史版本与下载"
        Layout.fillWidth: true
        Text {
            objectName: "diskUseLine"
            text: page.center.diskUseLine
            font.pixelSize: 11
            color: CenterAppearance.muted
            Layout.fillWidth: true
        }
        RowLayout {
            spacing: 10
            Layout.fillWidth: true
            Text {
                text: "每款软件保留的历史版本"
                font.pixelSize: 12
                color: CenterAppearance.ink
                Layout.fillWidth: true
            }
            CenterComboBox {
                objectName: "keepBackupsChoice"
                optionName: "keepBackupsOption-"
                model: page.center.preferences.keepBackupsChoices
                textRole: "text"
                valueRole: "value"
                // Read once the choices are there; a limit set elsewhere that is not among
                // them shows no choice.
                currentIndex: count > 0 ? indexOfValue(page.center.preferences.keepBackups) : -1
                onActivated: page.center.preferences.keepBackups = currentValue
                implicitWidth: 120
            }
            CenterSecondaryButton {
                objectName: "pruneBackupsButton"
                text: "立即清理"
                enabled: !page.center.isInstalling && page.center.canClean
                onClicked: page.center.pruneBackupsNow()
            }
        }
    }

    CenterSettingsGroup {
        title: "安装与支持"
        Layout.fillWidth: true
        CenterSettingsLine {
            title: "已有安装包"
            subtitle: "导入 KESTRYN 安装包，在本机检查并安装。"
            action: "导入安装包"
            buttonEnabled: !page.center.isInstalling
            onPerformed: page.center.importInstaller()
            Layout.fillWidth: true
        }
        CenterSettingsLine {
            title: "版本信息"
            subtitle: "导出中心版本和本机软件版本。"
            action: "导出"
            buttonEnabled: !page.center.isInstalling
            onPerformed: page.center.exportDiagnostics()
            Layout.fillWidth: true
        }
        CenterSettingsLine {
            title: "使用帮助"
            subtitle: "查看安装、更新与发布说明。"
            action: "打开"
            buttonEnabled: !page.center.isInstalling
            onPerformed: page.center.openHelp()
            Layout.fillWidth: true
        }
    }

    ColumnLayout {
        spacing: 2
        Layout.alignment: Qt.AlignHCenter
        Layout.topMargin: 8
        Text {
            text: "KESTRYN 软件中心"
            font.pixelSize: 11
            color: CenterAppearance.muted
            Layout.alignment: Qt.AlignHCenter
        }
        Text {
            objectName: "versionLine"
            text: page.center.versionLine
            font.pixelSize: 10
            color: CenterAppearance.faint
            Layout.alignment: Qt.AlignHCenter
        }
    }
}
