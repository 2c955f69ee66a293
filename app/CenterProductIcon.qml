import QtQuick
import Kestryn.Style

// A product's square icon: its picture from the resources, or its symbol inset by a fifth.
Item {
    id: icon

    // The picture's address; empty when the resources have none.
    property url source
    // The symbol shown without a picture.
    property string fallbackSymbol: "app.dashed"
    property real size: 48

    implicitWidth: size
    implicitHeight: size
    Accessible.ignored: true

    Image {
        id: picture
        anchors.fill: parent
        source: icon.source
        fillMode: Image.PreserveAspectFit
        sourceSize: Qt.size(icon.size * 2, icon.size * 2)
        smooth: true
        mipmap: true
        visible: status === Image.Ready
    }
    Rectangle {
        anchors.fill: parent
        visible: !picture.visible
        radius: icon.size * 0.22
        color: CenterAppearance.selected
        border.width: 1
        border.color: CenterAppearance.line
    }
    CenterSymbol {
        objectName: "fallbackSymbol"
        anchors.fill: parent
        anchors.margins: icon.size * 0.2
        visible: !picture.visible
        name: icon.fallbackSymbol
        size: icon.size * 0.6
        color: CenterAppearance.purple
        fontSizeMode: Text.Fit
    }
}
