import QtQuick
import Kestryn.Center
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kestryn.Style

// One product in the all page's grid; the whole card opens its detail.
AbstractButton {
    id: card

    property CenterModel center
    property var product

    objectName: "productCard-" + product.productID
    implicitHeight: content.implicitHeight + 36
    onClicked: center.showDetails(product.productID, CenterDetailTab.Overview)

    background: Rectangle {
        radius: 14
        color: card.hovered ? Qt.lighter(CenterAppearance.panel, 1.15) : CenterAppearance.panel
        border.width: 1
        border.color: CenterAppearance.line
    }

    contentItem: Item {}

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 18
        spacing: 8

        RowLayout {
            spacing: 14
            CenterProductIcon {
                source: card.product.iconURL
                fallbackSymbol: card.product.fallbackSymbol
                size: 56
            }
            ColumnLayout {
                spacing: 3
                Layout.fillWidth: true
                Text {
                    text: card.product.name
                    font.pixelSize: 16
                    font.weight: Font.Medium
                    font.letterSpacing: -0.4
                    color: CenterAppearance.ink
                }
                Text {
                    text: card.product.kind
                    font.pixelSize: 10
                    color: CenterAppearance.faint
                }
            }
        }
        Text {
            text: card.product.summary
            font.pixelSize: 12
            color: CenterAppearance.muted
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        CenterProductStatus { product: card.product }
        CenterProgressLine {
            visible: card.product.isBusy
            value: card.center.progress
            Layout.fillWidth: true
        }
        RowLayout {
            spacing: 14
            Layout.topMargin: 4
            CenterActionButton {
                center: card.center
                product: card.product
            }
            Item { Layout.fillWidth: true }
            CenterQuietButton {
                text: "使用说明"
                textSize: 10
                onClicked: card.center.showDetails(card.product.productID, CenterDetailTab.Guide)
            }
            CenterQuietButton {
                text: "建议评论"
                textSize: 10
                onClicked: card.center.showDetails(card.product.productID, CenterDetailTab.Comments)
            }
        }
    }
}
