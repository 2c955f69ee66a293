import QtQuick
import Kestryn.Center
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kestryn.Style

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
        CenterMenu {
            title: "软件中心"
            Action {
                text: "检查软件中心更新…"
                onTriggered: window.center.checkCenterUpdate()
            }
            MenuSeparator {}
            Action {
                text: "退出"
                shortcut: "Ctrl+Q"
                onTriggered: window.close()
            }
        }
        CenterMenu {
            title: "视图"
            Action {
                objectName: "checkToolUpdatesAction"
                text: "检查工具更新"
                shortcut: "Ctrl+R"
                onTriggered: window.center.checkToolUpdates()
            }
        }
        CenterMenu {
            title: "帮助"
            Action {
                text: "使用帮助"
                onTriggered: window.center.openHelp()
            }
        }
    }

    // A menu whose entries show their shortcuts at the right. Escape closes it the way a second
    // click on its title does: the menu bar's own closing on Escape, with the pointer still on
    // the title, left the bar believing the menu open, so the next click on a title was lost.
    component CenterMenu: Menu {
        id: menu
        closePolicy: Popup.CloseOnPressOutside
        Shortcut {
            sequence: StandardKey.Cancel
            enabled: menu.visible
            onActivated: menu.parent.triggered()
        }
        delegate: Component {
            MenuItem {
                id: entry
                contentItem: RowLayout {
                    spacing: 24
                    opacity: entry.enabled ? 1.0 : 0.5
                    Text {
                        text: entry.text
                        font: entry.font
                        color: CenterAppearance.ink
                        Layout.fillWidth: true
                    }
                    Text {
                        objectName: "menuShortcut-" + entry.text
                        visible: text !== ""
                        text: entry.action && entry.action.shortcut ? entry.action.shortcut : ""
                        font: entry.font
                        color: CenterAppearance.muted
                    }
                }
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
