#pragma once

#include <optional>
#include <string>
#include <string_view>

// The parts of an absolute address that the portal's trust rules look at, parsed by libcurl
// (the transport's parser) and checked against the text itself where libcurl is lenient.
struct WebAddress {
    // Lower-cased.
    std::string scheme;
    // Lower-cased; nothing when the address has no authority or an empty one.
    std::optional<std::string> host;
    // The port as written; nothing when none is given.
    std::optional<std::string> port;
    // A user name or password is present, even an empty one ("https://@host").
    bool hasCredentials = false;

    // Nothing unless the text is "scheme://..." that libcurl parses; "mailto:", "data:",
    // "javascript:" and the like therefore give nothing.
    [[nodiscard]] static std::optional<WebAddress> parse(std::string_view text);
};
