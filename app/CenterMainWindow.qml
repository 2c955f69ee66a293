import QtQuick
import Kestryn.Center
import QtQuick.Controls.Basic

// The one window of the center, dark whatever the desktop's theme, with its menus.
ApplicationWindow {
    id: window

    required property CenterModel center
    required property WindowPrompts prompts

    title: "KESTRYN 软件中心"
    width: 1100
    height: 880
    minimumWidth: 930
    minimumHeight: 680
    visible: true
    color: CenterAppearance.background

    // The Basic controls and dialogs take their colours from here.
    palette.window: CenterAppearance.panel
    palette.windowText: CenterAppearance.ink
    palette.base: CenterAppearance.background
    palette.alternateBase: CenterAppearance.sidebar
    palette.text: CenterAppearance.ink
    palette.button: CenterAppearance.raised
    palette.buttonText: CenterAppearance.ink
    palette.brightText: CenterAppearance.ink
    palette.highlight: CenterAppearance.selected
    palette.highlightedText: CenterAppearance.ink
    palette.light: CenterAppearance.raised
    palette.midlight: CenterAppearance.raised
    palette.mid: CenterAppearance.line
    palette.dark: CenterAppearance.muted
    palette.shadow: "#000000"
    palette.placeholderText: CenterAppearance.faint
    palette.toolTipBase: CenterAppearance.raised
    palette.toolTipText: CenterAppearance.ink

    menuBar: MenuBar {
        objectName: "menuBar"
        background: Rectangle {
            implicitHeight: 28
            color: CenterAppearance.sidebar
            Rectangle {
                anchors.bottom: parent.bottom
                width: parent.width
                height: 1
                color: CenterAppearance.line
            }
        }
        Menu {
            title: "软件中心"
            Action {
                text: "检查软件中心更新…"
                onTriggered: window.center.checkCenterUpdate()
            }
            MenuSeparator {}
            Action {
                text: "退出"
                shortcut: StandardKey.Quit
                onTriggered: window.close()
            }
        }
        Menu {
            title: "视图"
            Action {
                objectName: "checkToolUpdatesAction"
                text: "检查工具更新"
                shortcut: "Ctrl+R"
                onTriggered: window.center.checkToolUpdates()
            }
        }
        Menu {
            title: "帮助"
            Action {
                text: "使用帮助"
                onTriggered: window.center.openHelp()
            }
        }
    }

    CenterRootView {
        objectName: "rootView"
        anchors.fill: parent
        center: window.center
    }

    CenterPromptDialogs {
        prompts: window.prompts
    }
}
