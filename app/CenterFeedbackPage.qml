import QtQuick
import Kestryn.Center
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kestryn.Portal
import Kestryn.Style

// Suggestions and feedback: the community page of the chosen product.
ColumnLayout {
    id: page

    property CenterModel center
    // The product whose page is shown; kept by the window across page switches.
    required property string feedbackProduct
    signal productChosen(string id)

    spacing: 18

    CenterHeading {
        center: page.center
        title: "建议与反馈"
        subtitle: "想增加什么功能，哪里还不顺手？直接告诉我们。"
        Layout.fillWidth: true
    }
    RowLayout {
        spacing: 12
        Layout.fillWidth: true
        Text {
            text: "选择软件"
            font.pixelSize: 12
            color: CenterAppearance.ink
        }
        ComboBox {
            id: picker
            objectName: "feedbackPicker"
            implicitWidth: 180
            model: page.center.products
            textRole: "name"
            valueRole: "id"
            font.pixelSize: 12
            Component.onCompleted: currentIndex = Math.max(0, indexOfValue(page.feedbackProduct))
            onActivated: page.productChosen(currentValue)
            palette.button: CenterAppearance.raised
            palette.buttonText: CenterAppearance.ink
            palette.window: CenterAppearance.panel
            palette.text: CenterAppearance.ink
            palette.dark: CenterAppearance.muted
        }
        Item { Layout.fillWidth: true }
        Text {
            text: "与官网同步 · 可匿名或登录留言"
            font.pixelSize: 10
            color: CenterAppearance.faint
        }
    }
    Rectangle {
        Layout.fillWidth: true
        Layout.fillHeight: true
        radius: 12
        color: CenterAppearance.background
        border.width: 1
        border.color: CenterAppearance.line
        clip: true
        // One view per chosen product, so another product gets a fresh page.
        Repeater {
            model: [page.feedbackProduct]
            delegate: CenterPortalView {
                objectName: "portalView"
                required property string modelData
                x: 1
                y: 1
                width: parent.width - 2
                height: parent.height - 2
                destination: "community"
                productID: modelData
                showsHeader: false
            }
        }
    }
}
