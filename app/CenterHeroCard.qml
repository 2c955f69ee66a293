import QtQuick
import Kestryn.Center
import QtQuick.Layouts
import Kestryn.Style

// The featured product's large card at the top of the all page.
Rectangle {
    id: hero

    property CenterModel center
    property var product

    objectName: "heroCard"
    implicitHeight: content.implicitHeight + 56
    radius: 18
    border.width: 1
    border.color: CenterAppearance.line
    gradient: Gradient {
        orientation: Gradient.Horizontal
        GradientStop { position: 0.0; color: "#1E1A28" }
        GradientStop { position: 0.55; color: CenterAppearance.panel }
        GradientStop { position: 1.0; color: "#121216" }
    }

    RowLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 28
        spacing: 28

        CenterProductIcon {
            source: hero.product.iconURL
            fallbackSymbol: hero.product.fallbackSymbol
            size: 128
        }
        ColumnLayout {
            spacing: 8
            Row {
                spacing: 6
                CenterSymbol {
                    name: "clapperboard"
                    size: 12
                    color: CenterAppearance.purple
                    anchors.verticalCenter: parent.verticalCenter
                }
                Text {
                    text: "为 Final Cut Pro 而做"
                    font.pixelSize: 11
                    color: CenterAppearance.purple
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
            Text {
                text: hero.product.name
                font.pixelSize: 27
                font.weight: Font.Medium
                font.letterSpacing: -0.7
                color: CenterAppearance.ink
            }
            Text {
                text: "从输入还原，到你的电影风格。\n让色彩调整，顺着创作的直觉。"
                font.pixelSize: 13
                lineHeight: 1.3
                color: CenterAppearance.muted
            }
            RowLayout {
                spacing: 18
                Layout.topMargin: 6
                CenterActionButton {
                    center: hero.center
                    product: hero.product
                    primary: true
                }
                CenterQuietButton {
                    objectName: "heroMore"
                    text: "了解更多"
                    symbol: "arrow.right"
                    onClicked: hero.center.showDetails(hero.product.productID, CenterDetailTab.Overview)
                }
            }
            CenterProgressLine {
                visible: hero.product.isBusy
                value: hero.center.progress
                Layout.preferredWidth: 260
            }
        }
        Item { Layout.fillWidth: true }
    }
}
