import QtQuick
import QtQuick.Controls.Basic

// An on/off switch: the accent track when on, the raised one when off.
Switch {
    id: control

    indicator: Rectangle {
        implicitWidth: 34
        implicitHeight: 20
        x: control.leftPadding
        y: (control.height - height) / 2
        radius: 10
        color: control.checked ? CenterAppearance.purple : CenterAppearance.raised
        border.width: 1
        border.color: CenterAppearance.line
        Rectangle {
            x: control.checked ? parent.width - width - 2 : 2
            anchors.verticalCenter: parent.verticalCenter
            width: 16
            height: 16
            radius: 8
            color: control.checked ? CenterAppearance.background : CenterAppearance.muted
        }
    }
}
