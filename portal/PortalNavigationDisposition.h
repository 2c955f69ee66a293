#pragma once

// What the embedded page does with an address it wants to go to.
enum class PortalNavigationDisposition {
    // Stays in the window.
    embedded,
    // Cancelled in the window and opened in the user's default browser.
    externalBrowser,
    // Cancelled.
    blocked,
};
