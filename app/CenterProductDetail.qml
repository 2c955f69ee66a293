import QtQuick
import Kestryn.Center
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kestryn.Portal
import Kestryn.Style

// The sheet of one product: overview, guide and comments, and its action bar.
Rectangle {
    id: detail

    property CenterModel center
    property var product

    color: CenterAppearance.background
    radius: 14
    border.width: 1
    border.color: CenterAppearance.line

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 1
        spacing: 0

        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 22
            Layout.rightMargin: 16
            Layout.topMargin: 10
            CenterQuietButton {
                objectName: "detailBack"
                text: "返回"
                symbol: "chevron.left"
                onClicked: detail.center.closeDetails()
            }
            Item { Layout.fillWidth: true }
            AbstractButton {
                id: closeButton
                objectName: "detailClose"
                implicitWidth: 26
                implicitHeight: 26
                ToolTip.visible: hovered
                ToolTip.text: "关闭详情"
                onClicked: detail.center.closeDetails()
                background: Rectangle {
                    radius: 13
                    color: closeButton.down ? CenterAppearance.line : CenterAppearance.raised
                }
                contentItem: CenterSymbol {
                    name: "xmark"
                    size: 11
                    font.weight: Font.Medium
                    color: CenterAppearance.muted
                }
            }
        }

        RowLayout {
            spacing: 14
            Layout.fillWidth: true
            Layout.leftMargin: 28
            Layout.rightMargin: 28
            Layout.topMargin: 6
            CenterProductIcon {
                source: detail.product.iconURL
                fallbackSymbol: detail.product.fallbackSymbol
                size: 48
            }
            ColumnLayout {
                spacing: 3
                Layout.fillWidth: true
                Text {
                    objectName: "detailName"
                    Layout.fillWidth: true
                    text: detail.product.name
                    font.pixelSize: 22
                    font.weight: Font.Medium
                    color: CenterAppearance.ink
                }
                Text {
                    text: detail.product.detailStatus
                    font.pixelSize: 10
                    color: CenterAppearance.muted
                }
            }
        }

        Rectangle {
            objectName: "detailTabs"
            Accessible.name: "详情内容"
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 16
            Layout.bottomMargin: 12
            implicitWidth: tabs.implicitWidth + 6
            implicitHeight: tabs.implicitHeight + 6
            radius: 8
            color: CenterAppearance.panel
            border.width: 1
            border.color: CenterAppearance.line
            Row {
                id: tabs
                anchors.centerIn: parent
                spacing: 2
                Repeater {
                    model: [CenterDetailTab.Overview, CenterDetailTab.Guide, CenterDetailTab.Comments]
                    delegate: AbstractButton {
                        id: tab
                        required property int index
                        required property int modelData
                        readonly property bool current: detail.center.detailSection === modelData
                        objectName: "detailTab-" + index
                        implicitWidth: 110
                        implicitHeight: 26
                        onClicked: detail.center.detailSection = modelData
                        background: Rectangle {
                            radius: 6
                            color: tab.current ? CenterAppearance.raised : "transparent"
                        }
                        contentItem: Text {
                            text: detail.center.detailSectionTitle(tab.modelData)
                            font.pixelSize: 12
                            color: tab.current ? CenterAppearance.ink : CenterAppearance.muted
                            horizontalAlignment: Text.AlignHCenter
                            verticalAlignment: Text.AlignVCenter
                        }
                    }
                }
            }
        }

        // Each tab is made anew when shown, so its web page loads again.
        Loader {
            Layout.fillWidth: true
            Layout.fillHeight: true
            sourceComponent: {
                switch (detail.center.detailSection) {
                case CenterDetailTab.Guide:
                    return guide
                case CenterDetailTab.Comments:
                    return comments
                default:
                    return overview
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: CenterAppearance.line
        }
        RowLayout {
            spacing: 14
            Layout.fillWidth: true
            Layout.leftMargin: 28
            Layout.rightMargin: 28
            Layout.topMargin: 14
            Layout.bottomMargin: detail.product.isBusy ? 8 : 16
            ColumnLayout {
                spacing: 3
                Layout.fillWidth: true
                Text {
                    objectName: "detailRequirement"
                    Layout.fillWidth: true
                    text: detail.product.requirement
                    font.pixelSize: 11
                    color: CenterAppearance.ink
                }
                Text {
                    text: detail.product.detailStatus
                    font.pixelSize: 10
                    color: CenterAppearance.muted
                }
                Text {
                    objectName: "detailIntegrity"
                    readonly property string line: detail.center.integrity.lines[detail.product.productID] || ""
                    visible: detail.product.isInstalled && line.length > 0
                    Layout.fillWidth: true
                    text: line
                    wrapMode: Text.Wrap
                    font.pixelSize: 10
                    color: CenterAppearance.muted
                }
            }
            CenterQuietButton {
                objectName: "detailRepair"
                visible: detail.product.isInstalled && detail.center.integrity.damaged[detail.product.productID] === true
                enabled: !detail.center.isWorking
                text: "修复"
                onClicked: detail.center.repairProduct(detail.product.productID)
            }
            CenterQuietButton {
                objectName: "detailCheckIntegrity"
                visible: detail.product.isInstalled
                enabled: !detail.center.isWorking
                text: "检查完整性"
                onClicked: detail.center.checkIntegrity(detail.product.productID)
            }
            CenterQuietButton {
                objectName: "detailRemove"
                visible: detail.product.isInstalled && !detail.center.isPreviewOnly(detail.product.productID)
                enabled: !detail.center.isWorking
                text: "移除"
                onClicked: detail.center.removeProduct(detail.product.productID)
            }
            CenterQuietButton {
                objectName: "detailShowPackage"
                visible: detail.product.isInstalled
                text: "在访达中显示"
                onClicked: detail.center.showPackage(detail.product.productID)
            }
            CenterQuietButton {
                objectName: "detailCancelButton"
                visible: detail.product.isBusy && detail.center.canCancel
                text: "取消"
                symbol: "xmark"
                onClicked: detail.center.cancelWork()
            }
            CenterPrimaryButton {
                objectName: "detailActionButton"
                text: detail.product.actionTitle
                busy: detail.product.isBusy
                enabled: detail.product.canAct
                onClicked: detail.center.performAction(detail.product.productID)
            }
        }
        CenterProgressLine {
            visible: detail.product.isBusy
            value: detail.center.progress
            Layout.fillWidth: true
            Layout.leftMargin: 28
            Layout.rightMargin: 28
            Layout.bottomMargin: 14
        }
    }

    Component {
        id: overview
        Flickable {
            id: scroller
            objectName: "detailScroller"
            clip: true
            contentHeight: overviewContent.implicitHeight + 24
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
            ColumnLayout {
                id: overviewContent
                x: 28
                width: scroller.width - 56
                spacing: 12
                Rectangle {
                    Layout.fillWidth: true
                    implicitHeight: 1
                    color: CenterAppearance.line
                }
                Text {
                    objectName: "detailText"
                    text: detail.product.detail
                    font.pixelSize: 13
                    lineHeight: 1.3
                    color: CenterAppearance.ink
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
                Repeater {
                    model: detail.product.features
                    delegate: RowLayout {
                        required property string modelData
                        spacing: 8
                        CenterSymbol {
                            name: "sparkles"
                            size: 15
                            color: CenterAppearance.purple
                            Layout.preferredWidth: 20
                            Layout.preferredHeight: 20
                        }
                        Text {
                            text: modelData
                            font.pixelSize: 12
                            color: CenterAppearance.ink
                        }
                    }
                }
                ColumnLayout {
                    visible: detail.product.releaseLine !== ""
                    spacing: 6
                    Layout.topMargin: 10
                    Text {
                        text: "版本更新"
                        font.pixelSize: 14
                        font.weight: Font.Medium
                        color: CenterAppearance.ink
                    }
                    Text {
                        text: detail.product.releaseLine
                        font.pixelSize: 11
                        color: CenterAppearance.muted
                    }
                    Repeater {
                        model: detail.product.notes
                        delegate: RowLayout {
                            required property string modelData
                            spacing: 8
                            Rectangle {
                                implicitWidth: 5
                                implicitHeight: 5
                                radius: 2.5
                                color: CenterAppearance.faint
                            }
                            Text {
                                text: modelData
                                font.pixelSize: 12
                                color: CenterAppearance.muted
                            }
                        }
                    }
                }
                ColumnLayout {
                    id: history
                    objectName: "detailHistory"
                    spacing: 8
                    Layout.topMargin: 10
                    Layout.fillWidth: true
                    CenterBackupList {
                        id: backupList
                        history: detail.center.history
                        product: detail.product.productID
                    }
                    Text {
                        text: "历史版本"
                        font.pixelSize: 14
                        font.weight: Font.Medium
                        color: CenterAppearance.ink
                    }
                    Text {
                        objectName: "detailHistoryEmpty"
                        visible: backupList.count === 0
                        text: "还没有历史版本。更新后，被替换的版本会保存在这里。"
                        font.pixelSize: 11
                        color: CenterAppearance.muted
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                    }
                    Repeater {
                        model: backupList
                        delegate: RowLayout {
                            required property int index
                            required property string title
                            required property string line
                            required property string path
                            spacing: 12
                            Layout.fillWidth: true
                            ColumnLayout {
                                spacing: 3
                                Layout.fillWidth: true
                                Text {
                                    objectName: "backupTitle-" + index
                                    text: title
                                    font.pixelSize: 12
                                    color: CenterAppearance.ink
                                }
                                Text {
                                    text: line
                                    font.pixelSize: 11
                                    color: CenterAppearance.muted
                                }
                            }
                            CenterSecondaryButton {
                                objectName: "restoreBackup-" + index
                                text: "恢复此版本"
                                enabled: !detail.center.isInstalling
                                onClicked: detail.center.restoreBackup(detail.product.productID,
                                                                       path)
                            }
                        }
                    }
                }
            }
        }
    }

    Component {
        id: guide
        CenterPortalView {
            objectName: "portalView"
            destination: "guide"
            productID: detail.product.productID
            showsHeader: false
        }
    }
    Component {
        id: comments
        CenterPortalView {
            objectName: "portalView"
            destination: "community"
            productID: detail.product.productID
            showsHeader: false
        }
    }
}
