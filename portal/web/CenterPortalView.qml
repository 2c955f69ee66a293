import QtQuick

// One of the maker's pages inside the window: the embedded page with its loading overlay and
// error panel, and, when it stands alone, a header with the title and its buttons.
Item {
    id: view

    // "guide", "community" or "support".
    property string destination: "guide"
    // The product of a guide or community page; empty for the support page.
    property string productID: ""
    property bool showsHeader: true

    // The header's close button was pressed; whoever presents the view closes it.
    signal dismissed()

    Rectangle {
        anchors.fill: parent
        color: "#0C0C0F"
    }
}
