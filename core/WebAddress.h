#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace CenterCore {

// The parts of an absolute address that the rules on addresses look at, parsed by libcurl (the
// parser that later fetches it) and checked against the text itself where libcurl is lenient.
// Every rule on addresses reads them from here, so no two rules see different parts.
struct WebAddress {
    // Lower-cased.
    std::string scheme;
    // Lower-cased; nothing when the address has no authority or an empty one.
    std::optional<std::string> host;
    // The port as written; nothing when none is given.
    std::optional<std::string> port;
    // A user name or password is present, even an empty one ("https://@host").
    bool hasCredentials = false;
    // The text after the authority as written: path, query and fragment.
    std::string afterAuthority;

    // The core of every HTTPS rule: the scheme https, a host, and neither user nor password.
    [[nodiscard]] bool isHTTPS() const { return scheme == "https" && host && !hasCredentials; }

    // Nothing unless the text is "scheme://..." that libcurl parses; "mailto:", "data:",
    // "javascript:" and the like therefore give nothing.
    [[nodiscard]] static std::optional<WebAddress> parse(std::string_view text);
};

} // namespace CenterCore
