import QtQuick
import QtQuick.Controls.Basic

// A choice among the model's entries in a raised frame with a chevron. Each entry's row is named
// `optionName` followed by its index.
ComboBox {
    id: control

    property string optionName: ""

    font.pixelSize: 11
    background: Rectangle {
        implicitHeight: 32
        radius: 7
        color: CenterAppearance.raised
        border.width: 1
        border.color: CenterAppearance.line
    }
    contentItem: Text {
        leftPadding: 10
        text: control.displayText
        font: control.font
        color: CenterAppearance.ink
        verticalAlignment: Text.AlignVCenter
    }
    indicator: CenterSymbol {
        x: control.width - width - 8
        y: (control.height - height) / 2
        name: "chevron.down"
        size: 10
        color: CenterAppearance.muted
    }
    delegate: ItemDelegate {
        id: option
        required property int index
        required property var modelData
        objectName: control.optionName + index
        width: control.width
        highlighted: control.highlightedIndex === index
        contentItem: Text {
            text: option.modelData[control.textRole]
            font: control.font
            color: CenterAppearance.ink
        }
        background: Rectangle {
            color: option.highlighted ? CenterAppearance.raised : CenterAppearance.panel
        }
    }
    popup.background: Rectangle {
        radius: 7
        color: CenterAppearance.panel
        border.width: 1
        border.color: CenterAppearance.line
    }
}
