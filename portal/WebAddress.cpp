#include "portal/WebAddress.h"

#include <curl/curl.h>
#include <memory>
#include <new>

namespace {

struct FreeURL {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct FreeText {
    void operator()(char* text) const { curl_free(text); }
};

std::optional<std::string> component(CURLU* url, CURLUPart part) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, 0) != CURLUE_OK || raw == nullptr) {
        return std::nullopt;
    }
    std::unique_ptr<char, FreeText> owned(raw);
    return std::string(raw);
}

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
    std::unique_ptr<CURLU, FreeURL> url(curl_url());
    if (!url) {
        throw std::bad_alloc();
    }
    if (curl_url_set(url.get(), CURLUPART_URL, std::string(text).c_str(),
                     CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return std::nullopt;
    }
    std::optional<std::string> scheme = component(url.get(), CURLUPART_SCHEME);
    // libcurl reads "https:/host" and "https:///host" as "https://host"; a browser does not.
    std::size_t separator = text.find("://");
    if (!scheme || separator != scheme->size()) {
        return std::nullopt;
    }
    std::string_view authority = text.substr(separator + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));

    WebAddress address;
    address.scheme = asciiLowercased(*scheme);
    if (std::optional<std::string> host = component(url.get(), CURLUPART_HOST);
        host && !host->empty() && !authority.empty()) {
        address.host = asciiLowercased(*host);
    }
    address.port = component(url.get(), CURLUPART_PORT);
    address.hasCredentials = authority.find('@') != std::string_view::npos ||
                             component(url.get(), CURLUPART_USER) ||
                             component(url.get(), CURLUPART_PASSWORD);
    return address;
}
