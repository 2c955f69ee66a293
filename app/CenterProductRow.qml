import QtQuick
import Kestryn.Center
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kestryn.Style

// One product in a list: icon, name (opens the detail), state line, on the updates page the
// offered version and its download size, progress and its action.
ColumnLayout {
    id: row

    property CenterModel center
    property var product
    // On the updates page the action is the primary one.
    property bool updating: false

    objectName: "productRow-" + product.productID
    spacing: 0

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: CenterAppearance.line
    }
    RowLayout {
        spacing: 14
        Layout.topMargin: 14
        Layout.bottomMargin: 14
        CenterProductIcon {
            source: row.product.iconURL
            fallbackSymbol: row.product.fallbackSymbol
            size: 44
        }
        ColumnLayout {
            spacing: 3
            Layout.fillWidth: true
            AbstractButton {
                contentItem: Text {
                    text: row.product.name
                    font.pixelSize: 14
                    font.weight: Font.Medium
                    color: CenterAppearance.ink
                }
                onClicked: row.center.showDetails(row.product.productID, CenterDetailTab.Overview)
            }
            Text {
                Layout.fillWidth: true
                text: row.product.detailStatus
                font.pixelSize: 11
                color: CenterAppearance.muted
            }
            Text {
                objectName: "offerLine-" + row.product.productID
                visible: row.updating && text !== ""
                Layout.fillWidth: true
                text: row.product.offerLine
                font.pixelSize: 11
                color: CenterAppearance.ink
            }
            CenterProgressLine {
                visible: row.product.isBusy
                value: row.center.progress
                Layout.preferredWidth: 220
            }
        }
        CenterActionButton {
            center: row.center
            product: row.product
            primary: row.updating
        }
    }
}
