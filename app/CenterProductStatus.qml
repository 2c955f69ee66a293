import QtQuick
import Kestryn.Style

// A product's one-line state, with its symbol when it has one.
Row {
    property var product

    spacing: 4
    CenterSymbol {
        visible: product.statusSymbol !== ""
        name: product.statusSymbol
        size: 12
        color: CenterAppearance.purple
        anchors.verticalCenter: parent.verticalCenter
    }
    Text {
        objectName: "productStatus-" + product.productID
        text: product.statusText
        font.pixelSize: 11
        color: CenterAppearance.muted
        anchors.verticalCenter: parent.verticalCenter
    }
}
