import QtQuick
import QtQuick.Controls.Basic
import Kestryn.Style

// An address field in a rounded frame with a hairline border.
TextField {
    id: field

    font.pixelSize: 11
    color: CenterAppearance.ink
    placeholderTextColor: CenterAppearance.faint
    selectByMouse: true
    inputMethodHints: Qt.ImhNoPredictiveText | Qt.ImhNoAutoUppercase | Qt.ImhUrlCharactersOnly
    leftPadding: 10
    rightPadding: 10
    topPadding: 8
    bottomPadding: 8
    selectionColor: CenterAppearance.selected
    background: Rectangle {
        radius: 7
        color: CenterAppearance.background
        border.width: 1
        border.color: field.activeFocus ? CenterAppearance.faint : CenterAppearance.line
    }
}
