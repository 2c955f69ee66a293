import QtQuick
import Kestryn.Center
import QtQuick.Layouts
import Kestryn.Style

// All software: the featured product's card, then every other product in a two-column grid.
ColumnLayout {
    id: page

    property CenterModel center

    spacing: 22

    CenterHeading {
        center: page.center
        title: "为创作，准备就绪。"
        subtitle: "所有工具，一个地方。"
        showCheck: true
        Layout.fillWidth: true
    }
    Repeater {
        model: CenterProductList {
            center: page.center
            scope: CenterProductList.Featured
        }
        delegate: CenterHeroCard {
            center: page.center
            product: model
            Layout.fillWidth: true
        }
    }
    RowLayout {
        Layout.fillWidth: true
        Layout.topMargin: 6
        Text {
            text: "更多创作工具"
            font.pixelSize: 13
            font.weight: Font.Medium
            color: CenterAppearance.ink
            Layout.fillWidth: true
        }
        Text {
            text: "为日常剪辑而做"
            font.pixelSize: 10
            color: CenterAppearance.faint
        }
    }
    GridLayout {
        columns: 2
        columnSpacing: 18
        rowSpacing: 18
        Layout.fillWidth: true
        Repeater {
            model: CenterProductList {
                center: page.center
                scope: CenterProductList.Others
            }
            delegate: CenterProductCard {
                center: page.center
                product: model
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                Layout.fillHeight: true
            }
        }
    }
}
