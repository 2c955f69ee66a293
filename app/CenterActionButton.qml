import QtQuick
import Kestryn.Center

// A product's main action in the primary or the secondary style, as the model titles and
// enables it.
Item {
    id: action

    property CenterModel center
    property var product
    property bool primary: false

    implicitWidth: primary ? first.implicitWidth : second.implicitWidth
    implicitHeight: primary ? first.implicitHeight : second.implicitHeight

    CenterPrimaryButton {
        id: first
        objectName: action.primary ? "actionButton-" + action.product.productID : ""
        visible: action.primary
        text: action.product.actionTitle
        busy: action.product.isBusy
        enabled: action.product.canAct
        onClicked: action.center.performAction(action.product.productID)
    }
    CenterSecondaryButton {
        id: second
        objectName: action.primary ? "" : "actionButton-" + action.product.productID
        visible: !action.primary
        text: action.product.actionTitle
        busy: action.product.isBusy
        enabled: action.product.canAct
        onClicked: action.center.performAction(action.product.productID)
    }
}
