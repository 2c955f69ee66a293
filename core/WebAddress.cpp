#include "core/WebAddress.h"

#include "core/CHandle.h"
#include "core/URLComponent.h"

#include <new>

namespace CenterCore {
namespace {

std::string asciiLowercased(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

} // namespace

std::optional<WebAddress> WebAddress::parse(std::string_view text) {
    CHandle<curl_url_cleanup> url(curl_url());
    if (!url) {
        throw std::bad_alloc();
    }
    if (curl_url_set(url.get(), CURLUPART_URL, std::string(text).c_str(),
                     CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return std::nullopt;
    }
    std::optional<std::string> scheme = urlComponent(url.get(), CURLUPART_SCHEME);
    // libcurl reads "https:/host" and "https:///host" as "https://host"; a browser does not.
    std::size_t separator = text.find("://");
    if (!scheme || separator != scheme->size()) {
        return std::nullopt;
    }
    std::string_view authority = text.substr(separator + 3);
    std::string_view rest =
        authority.substr(std::min(authority.find_first_of("/?#"), authority.size()));
    authority.remove_suffix(rest.size());

    WebAddress address;
    address.scheme = asciiLowercased(*scheme);
    if (std::optional<std::string> host = urlComponent(url.get(), CURLUPART_HOST);
        host && !host->empty() && !authority.empty()) {
        address.host = asciiLowercased(*host);
    }
    address.port = urlComponent(url.get(), CURLUPART_PORT);
    // libcurl drops an empty user ("https://@host") that the text still names.
    address.hasCredentials = authority.find('@') != std::string_view::npos ||
                             urlComponent(url.get(), CURLUPART_USER) ||
                             urlComponent(url.get(), CURLUPART_PASSWORD);
    address.afterAuthority = rest;
    return address;
}

} // namespace CenterCore
