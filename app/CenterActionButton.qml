import QtQuick

// A product's main action in the primary or the secondary style, as the model titles and
// enables it.
Loader {
    id: action

    property CenterModel center
    property var product
    property bool primary: false

    sourceComponent: primary ? primaryButton : secondaryButton

    Component {
        id: primaryButton
        CenterPrimaryButton {
            objectName: "actionButton-" + action.product.productID
            text: action.product.actionTitle
            busy: action.product.isBusy
            enabled: action.product.canAct
            onClicked: action.center.performAction(action.product.productID)
        }
    }
    Component {
        id: secondaryButton
        CenterSecondaryButton {
            objectName: "actionButton-" + action.product.productID
            text: action.product.actionTitle
            busy: action.product.isBusy
            enabled: action.product.canAct
            onClicked: action.center.performAction(action.product.productID)
        }
    }
}
