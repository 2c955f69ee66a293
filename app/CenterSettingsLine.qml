import QtQuick
import QtQuick.Layouts
import Kestryn.Style

// One line of a settings group: a title, a subtitle and a button.
RowLayout {
    id: line

    property string title
    property string subtitle
    property string action
    property alias buttonEnabled: button.enabled
    signal performed()

    spacing: 12

    ColumnLayout {
        spacing: 3
        Layout.fillWidth: true
        Text {
            Layout.fillWidth: true
            text: line.title
            font.pixelSize: 12
            color: CenterAppearance.ink
        }
        Text {
            text: line.subtitle
            font.pixelSize: 11
            color: CenterAppearance.muted
        }
    }
    CenterSecondaryButton {
        id: button
        objectName: "settingsButton-" + line.title
        text: line.action
        onClicked: line.performed()
    }
}
