#pragma once

#include <QString>

// What a failed load of the web engine reports: the engine's error domain (the values of
// QWebEngineLoadingInfo::ErrorDomain) and its code (a Chromium network error, or an HTTP status).
struct PortalLoadError {
    int domain = 0;
    int code = 0;
};

// The user's sentences for the web engine's load failures; no engine text reaches the user.
namespace PortalLoadErrors {

// Whether the load was cancelled (by the navigation policy or a newer load) rather than failed.
[[nodiscard]] bool isCancellation(const PortalLoadError& error);

// One Chinese sentence that says what went wrong, after "网络连接未完成。".
[[nodiscard]] QString description(const PortalLoadError& error);

} // namespace PortalLoadErrors
