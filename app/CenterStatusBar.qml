import QtQuick
import Kestryn.Center
import QtQuick.Layouts
import Kestryn.Style

// The bottom line: a spinner while something runs (else a dot), the model's status, wrapped
// onto more lines when long, the way out of a running download or installation, and the
// center's role at the right.
Rectangle {
    id: bar

    property CenterModel center

    implicitHeight: Math.max(30, line.implicitHeight + 14)
    color: CenterAppearance.background

    Rectangle {
        anchors.top: parent.top
        width: parent.width
        height: 1
        color: CenterAppearance.line
    }
    RowLayout {
        id: line
        anchors.fill: parent
        anchors.leftMargin: 30
        anchors.rightMargin: 30
        spacing: 8
        Item {
            implicitWidth: 12
            implicitHeight: 12
            CenterSpinner {
                objectName: "statusSpinner"
                anchors.centerIn: parent
                visible: bar.center.isWorking
                size: 12
            }
            Rectangle {
                objectName: "statusDot"
                anchors.centerIn: parent
                visible: !bar.center.isWorking
                width: 4
                height: 4
                radius: 2
                color: CenterAppearance.faint
            }
        }
        Text {
            objectName: "statusText"
            text: bar.center.status
            font.pixelSize: 11
            color: CenterAppearance.muted
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        CenterQuietButton {
            objectName: "cancelButton"
            visible: bar.center.canCancel
            text: "取消"
            symbol: "xmark"
            onClicked: bar.center.cancelWork()
        }
        Text {
            text: "本机软件管理"
            font.pixelSize: 11
            color: CenterAppearance.faint
        }
    }
}
