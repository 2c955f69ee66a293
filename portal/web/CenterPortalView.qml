import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
// The module's own C++ types: Qt 6.4 gives a module's files only its QML types implicitly.
import Kestryn.Portal
import Kestryn.Style

// One of the maker's pages inside the window: the embedded page with its loading overlay and
// error panel, and, when it stands alone, a header with the title and its buttons.
Item {
    id: view

    // "guide", "community" or "support".
    property string destination: "guide"
    // The product of a guide or community page; empty for the support page.
    property string productID: ""
    property bool showsHeader: true

    // A load is under way.
    readonly property bool isLoading: page !== null && page.webState.isLoading
    // Why the page is not shown; empty when it is.
    readonly property string errorText: page !== null ? page.webState.errorText : ""

    // The header's close button was pressed; whoever presents the view closes it.
    signal dismissed()

    // The page of the current destination; null for a product the portal does not know.
    property Item page: null

    implicitWidth: showsHeader ? 800 : 0
    implicitHeight: showsHeader ? 620 : 0
    Layout.minimumWidth: showsHeader ? 800 : 0
    Layout.minimumHeight: showsHeader ? 620 : 0

    PortalPageAddress {
        id: address
        destination: view.destination
        productID: view.productID
    }

    Rectangle {
        anchors.fill: parent
        color: CenterAppearance.background
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        RowLayout {
            visible: view.showsHeader
            Layout.fillWidth: true
            Layout.leftMargin: 20
            Layout.rightMargin: 14
            Layout.topMargin: 10
            Layout.bottomMargin: 10
            spacing: 6

            ColumnLayout {
                spacing: 2
                Text {
                    text: address.title
                    color: CenterAppearance.ink
                    font.family: CenterAppearance.textFamily
                    font.pointSize: 16
                    font.weight: Font.Medium
                }
                Text {
                    visible: text !== ""
                    text: address.productLine
                    color: CenterAppearance.muted
                    font.family: CenterAppearance.textFamily
                    font.pointSize: 11
                }
            }
            Item { Layout.fillWidth: true }
            PortalButton {
                symbol: "arrow.clockwise"
                help: "重新载入"
                onClicked: if (view.page !== null) view.page.webState.retry()
            }
            PortalButton {
                text: "浏览器打开"
                onClicked: if (view.page !== null) view.page.webState.openInBrowser()
            }
            PortalButton {
                symbol: "xmark"
                help: "关闭"
                onClicked: view.dismissed()
            }
        }

        Rectangle {
            visible: view.showsHeader
            Layout.fillWidth: true
            implicitHeight: 1
            color: CenterAppearance.line
            opacity: 0.25
        }

        Item {
            id: content
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true

            Text {
                anchors.centerIn: parent
                visible: address.embeddedURL.toString() === ""
                text: "没有找到这款软件的页面。"
                color: CenterAppearance.muted
                font.family: CenterAppearance.textFamily
                font.pointSize: 13
            }

            // One page per destination: a new destination gets a new page, state and coordinator.
            Repeater {
                model: address.embeddedURL.toString() === "" ? [] : [address.destinationID]
                onItemAdded: (index, item) => view.page = item
                onItemRemoved: (index, item) => { if (view.page === item) view.page = null }
                delegate: pageComponent
            }
        }
    }

    Component {
        id: pageComponent

        Item {
            id: pageItem
            width: content.width
            height: content.height

            property alias webState: webState

            PortalWebState { id: webState }

            PortalWebView {
                id: controller
                state: webState
                url: address.embeddedURL
                windowPresent: pageItem.Window.window !== null
            }

            Component.onDestruction: controller.dismantle()

            // By its address, never by its type: the web engine loads with the first page shown,
            // not with the window.
            Loader {
                anchors.fill: parent
                Component.onCompleted: setSource(
                    "qrc:/qt-project.org/imports/Kestryn/PortalEngine/PortalWebEngineView.qml",
                    { controller: controller })
            }

            Rectangle {
                visible: webState.isLoading
                anchors.centerIn: parent
                width: loadingRow.implicitWidth + 28
                height: loadingRow.implicitHeight + 18
                radius: 10
                color: CenterAppearance.raised
                border.color: CenterAppearance.line

                RowLayout {
                    id: loadingRow
                    anchors.centerIn: parent
                    spacing: 8
                    BusyIndicator {
                        running: webState.isLoading
                        implicitWidth: 20
                        implicitHeight: 20
                    }
                    Text {
                        text: "正在载入"
                        color: CenterAppearance.ink
                        font.family: CenterAppearance.textFamily
                        font.pointSize: 12
                    }
                }
            }

            // Covers the whole page, so nothing of the engine's own failure shows.
            Rectangle {
                visible: webState.errorText !== ""
                anchors.fill: parent
                color: CenterAppearance.background

                MouseArea {
                    anchors.fill: parent
                    acceptedButtons: Qt.AllButtons
                }

                ColumnLayout {
                    anchors.centerIn: parent
                    width: Math.min(420, parent.width - 40)
                    spacing: 10

                    CenterSymbol {
                        Layout.alignment: Qt.AlignHCenter
                        name: "wifi.exclamationmark"
                        size: 40
                        color: CenterAppearance.muted
                    }
                    Text {
                        Layout.alignment: Qt.AlignHCenter
                        text: "页面暂时无法打开"
                        color: CenterAppearance.ink
                        font.family: CenterAppearance.textFamily
                        font.pointSize: 16
                        font.weight: Font.Medium
                    }
                    Text {
                        Layout.fillWidth: true
                        text: webState.errorText
                        color: CenterAppearance.muted
                        wrapMode: Text.Wrap
                        horizontalAlignment: Text.AlignHCenter
                        font.family: CenterAppearance.textFamily
                        font.pointSize: 12
                    }
                    RowLayout {
                        Layout.alignment: Qt.AlignHCenter
                        Layout.topMargin: 6
                        spacing: 10
                        PortalButton {
                            text: "重试"
                            bordered: true
                            onClicked: webState.retry()
                        }
                        PortalButton {
                            text: "浏览器打开"
                            onClicked: webState.openInBrowser()
                        }
                    }
                }
            }

            Dialog {
                id: scriptDialog
                objectName: "scriptDialog"
                parent: Overlay.overlay
                anchors.centerIn: parent
                width: Math.min(440, pageItem.width - 40)
                modal: true
                closePolicy: Popup.NoAutoClose
                visible: controller.dialogOpen
                padding: 20

                background: Rectangle {
                    radius: 12
                    color: CenterAppearance.raised
                    border.color: CenterAppearance.line
                }

                Overlay.modal: Rectangle { color: "#99000000" }

                contentItem: ColumnLayout {
                    spacing: 12
                    Text {
                        text: controller.dialogTitle
                        color: CenterAppearance.ink
                        font.family: CenterAppearance.textFamily
                        font.pointSize: 14
                        font.weight: Font.Medium
                    }
                    Text {
                        Layout.fillWidth: true
                        text: controller.dialogText
                        textFormat: Text.PlainText
                        color: CenterAppearance.ink
                        wrapMode: Text.Wrap
                        font.family: CenterAppearance.textFamily
                        font.pointSize: 12
                    }
                    RowLayout {
                        Layout.alignment: Qt.AlignRight
                        spacing: 10
                        PortalButton {
                            visible: controller.dialogRejectText !== ""
                            text: controller.dialogRejectText
                            onClicked: controller.answerDialog(false)
                        }
                        PortalButton {
                            objectName: "dialogAcceptButton"
                            text: controller.dialogAcceptText
                            bordered: true
                            onClicked: controller.answerDialog(true)
                        }
                    }
                }
            }
        }
    }
}
