#include "portal/PortalLinks.h"

#include "core/PropertyList.h"
#include "core/Registry.h"
#include "core/Resources.h"
#include "core/WebAddress.h"

namespace PortalLinks {
namespace {

using CenterCore::WebAddress;

// "https://<host>" when `text` is an https origin with a host and nothing else (a single
// trailing "/" aside); empty otherwise.
std::string originOf(std::string_view text) {
    std::optional<WebAddress> address = WebAddress::parse(text);
    if (!address || !address->isHTTPS() || address->port ||
        (!address->afterAuthority.empty() && address->afterAuthority != "/")) {
        return {};
    }
    return "https://" + *address->host;
}

std::string readBaseURL() {
    std::optional<PropertyList> info =
        PropertyList::read(CenterCore::resourcesDirectory() / "Info.plist");
    std::optional<std::string> origin = info ? info->string("KESPortalURL") : std::nullopt;
    return origin ? originOf(*origin) : std::string();
}

bool isKnown(std::string_view productID) {
    return productNames().contains(productID);
}

} // namespace

const std::string& baseURL() {
    static const std::string base = readBaseURL();
    return base;
}

const std::string& supportURL() {
    static const std::string support = baseURL().empty() ? "" : baseURL() + "/donate.html";
    return support;
}

const std::map<std::string, std::string, std::less<>>& productNames() {
    static const std::map<std::string, std::string, std::less<>> names = [] {
        std::map<std::string, std::string, std::less<>> table;
        for (const CenterCore::RegisteredProduct& product : CenterCore::registeredProducts()) {
            table.emplace(product.id, product.name);
        }
        return table;
    }();
    return names;
}

std::optional<std::string> guide(std::string_view productID) {
    if (baseURL().empty() || !isKnown(productID)) {
        return std::nullopt;
    }
    return baseURL() + "/guides/" + std::string(productID) + ".html";
}

std::optional<std::string> comments(std::string_view productID) {
    std::optional<std::string> page = guide(productID);
    if (!page) {
        return std::nullopt;
    }
    return *page + "#comments";
}

std::optional<std::string> community(std::string_view productID) {
    if (baseURL().empty() || !isKnown(productID)) {
        return std::nullopt;
    }
    // Registered ids are lower-case letters only, so the query needs no escaping.
    return baseURL() + "/community.html?product=" + std::string(productID) + "&embed=center";
}

std::optional<std::string> url(const PortalDestination& destination) {
    switch (destination.kind()) {
    case PortalDestination::Kind::guide:
        return guide(destination.productID());
    case PortalDestination::Kind::community:
        return community(destination.productID());
    case PortalDestination::Kind::support:
        break;
    }
    if (supportURL().empty()) {
        return std::nullopt;
    }
    return supportURL();
}

std::optional<std::string> embeddedURL(const PortalDestination& destination) {
    if (destination.kind() == PortalDestination::Kind::guide) {
        std::optional<std::string> page = guide(destination.productID());
        return page ? std::optional(*page + "?embed=center") : std::nullopt;
    }
    return url(destination);
}

bool isTrustedOrigin(std::string_view url) {
    // Without an origin nothing is trusted, not even an address without a host.
    if (baseURL().empty()) {
        return false;
    }
    std::optional<WebAddress> address = WebAddress::parse(url);
    static const std::string trustedHost = *WebAddress::parse(baseURL())->host;
    return address && address->isHTTPS() && address->host == trustedHost &&
           (!address->port || *address->port == "443");
}

PortalNavigationDisposition navigationDisposition(std::string_view url, bool isMainFrame) {
    std::optional<WebAddress> address = WebAddress::parse(url);
    if (address && address->hasCredentials) {
        return PortalNavigationDisposition::blocked;
    }
    if (isTrustedOrigin(url)) {
        return PortalNavigationDisposition::embedded;
    }
    if (!isMainFrame || !address || !address->isHTTPS()) {
        return PortalNavigationDisposition::blocked;
    }
    return PortalNavigationDisposition::externalBrowser;
}

} // namespace PortalLinks
