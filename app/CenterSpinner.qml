import QtQuick
import QtQuick.Controls.Basic
import Kestryn.Style

// A small spinner for work in progress.
BusyIndicator {
    property real size: 12

    implicitWidth: size
    implicitHeight: size
    padding: 0
    running: visible
    palette.dark: CenterAppearance.muted
}
