import QtQuick
import QtQuick.Controls.Basic
import Kestryn.Style

// The download and installation progress of the busy product.
ProgressBar {
    id: bar

    from: 0
    to: 1
    implicitHeight: 4
    background: Rectangle {
        implicitHeight: 4
        radius: 2
        color: CenterAppearance.raised
    }
    contentItem: Item {
        implicitHeight: 4
        Rectangle {
            width: bar.visualPosition * parent.width
            height: parent.height
            radius: 2
            color: CenterAppearance.purple
        }
    }
}
