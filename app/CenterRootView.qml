import QtQuick
import Kestryn.Center
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kestryn.Style

// The window's whole content: sidebar, the chosen page with the status bar, the detail sheet
// while a product is selected, and the alert of an operation that did not complete.
Rectangle {
    id: root

    property CenterModel center
    // The product of the feedback page; kept while the window lives.
    property string feedbackProduct: center ? center.firstFeedbackProduct : ""

    color: CenterAppearance.background

    RowLayout {
        anchors.fill: parent
        spacing: 0

        CenterSidebar {
            center: root.center
            Layout.preferredWidth: 186
            Layout.fillHeight: true
        }
        Rectangle {
            Layout.preferredWidth: 1
            Layout.fillHeight: true
            color: CenterAppearance.line
        }
        ColumnLayout {
            spacing: 0
            Layout.fillWidth: true
            Layout.fillHeight: true

            Flickable {
                id: scroller
                objectName: "pageScroller"
                visible: root.center.pageName !== "feedback"
                clip: true
                contentHeight: scrolledPage.implicitHeight + 60
                boundsBehavior: Flickable.StopAtBounds
                Layout.fillWidth: true
                Layout.fillHeight: true
                ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

                Loader {
                    id: scrolledPage
                    x: 30
                    y: 30
                    width: scroller.width - 60
                    active: root.center.pageName !== "feedback"
                    sourceComponent: ({
                        "all": allPage,
                        "mine": minePage,
                        "updates": updatesPage,
                        "settings": settingsPage
                    })[root.center.pageName] || null
                    onLoaded: scroller.contentY = 0
                }
            }
            Loader {
                active: root.center.pageName === "feedback"
                visible: active
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.margins: 30
                sourceComponent: feedbackPage
            }
            CenterStatusBar {
                center: root.center
                Layout.fillWidth: true
            }
        }
    }

    Component {
        id: allPage
        CenterAllPage { center: root.center }
    }
    Component {
        id: minePage
        CenterMinePage { center: root.center }
    }
    Component {
        id: updatesPage
        CenterUpdatesPage { center: root.center }
    }
    Component {
        id: feedbackPage
        CenterFeedbackPage {
            center: root.center
            feedbackProduct: root.feedbackProduct
            onProductChosen: (id) => root.feedbackProduct = id
        }
    }
    Component {
        id: settingsPage
        CenterSettingsPage { center: root.center }
    }

    CenterProductList {
        id: selectedProduct
        center: root.center
        scope: CenterProductList.Selected
        // The sheet follows the model; closing it by Escape clears the selection in turn.
        onCountChanged: count > 0 ? sheet.open() : sheet.close()
    }
    Popup {
        id: sheet
        objectName: "detailSheet"
        modal: true
        focus: true
        closePolicy: Popup.CloseOnEscape
        anchors.centerIn: parent
        width: 760
        height: Math.min(740, root.height - 24)
        padding: 0
        onClosed: root.center.closeDetails()
        background: Item {}
        contentItem: Item {
            Repeater {
                model: selectedProduct
                delegate: CenterProductDetail {
                    objectName: "productDetail"
                    center: root.center
                    product: model
                    width: sheet.width
                    height: sheet.height
                }
            }
        }
    }

    Connections {
        target: root.center
        function onErrorChanged() {
            root.center.error !== "" ? errorAlert.open() : errorAlert.close()
        }
    }
    Component.onCompleted: {
        if (root.center.error !== "")
            errorAlert.open()
        if (selectedProduct.count > 0)
            sheet.open()
    }
    Dialog {
        id: errorAlert
        objectName: "errorAlert"
        modal: true
        closePolicy: Popup.NoAutoClose
        anchors.centerIn: parent
        width: 380
        padding: 22
        background: Rectangle {
            radius: 12
            color: CenterAppearance.panel
            border.width: 1
            border.color: CenterAppearance.line
        }
        contentItem: ColumnLayout {
            spacing: 10
            CenterSymbol {
                name: "exclamationmark.circle"
                size: 26
                color: CenterAppearance.purple
                Layout.alignment: Qt.AlignHCenter
            }
            Text {
                text: "操作未完成"
                font.pixelSize: 14
                font.weight: Font.Medium
                color: CenterAppearance.ink
                Layout.alignment: Qt.AlignHCenter
            }
            Text {
                objectName: "errorAlertText"
                text: root.center.error
                font.pixelSize: 12
                color: CenterAppearance.muted
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
                Layout.fillWidth: true
            }
            CenterPrimaryButton {
                objectName: "errorAlertButton"
                text: "知道了"
                Layout.alignment: Qt.AlignHCenter
                Layout.topMargin: 6
                onClicked: root.center.error = ""
            }
        }
    }
}
