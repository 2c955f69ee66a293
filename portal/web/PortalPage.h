#pragma once

#include <QUrl>
#include <cstdint>

// Identifies one navigation of a page, so that events of an earlier one can be told apart.
using PortalNavigationID = std::uint64_t;

// The embedded page as the coordinator drives it: the web view in the window, a scripted page in
// tests.
class PortalPage {
  public:
    virtual ~PortalPage() = default;

    // Starts loading `url` in the main frame; the navigation that does so.
    [[nodiscard]] virtual PortalNavigationID load(const QUrl& url) = 0;
    // Stops whatever is loading.
    virtual void stop() = 0;
    // Whether the page is shown in a window, where a dialog can appear over it.
    [[nodiscard]] virtual bool hasWindow() const = 0;
};
