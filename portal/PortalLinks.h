#pragma once

#include "portal/PortalDestination.h"
#include "portal/PortalNavigationDisposition.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

// The addresses of the maker's web pages and the trust policy for everything an embedded page
// wants to open. Stateless; every operation is safe to call from any thread.
namespace PortalLinks {

// The maker's website origin, "https://<host>", from the key KESPortalURL of the resources'
// Info.plist, read once. Empty when the key is missing or is not such an origin: then no page
// has an address and nothing is trusted.
[[nodiscard]] const std::string& baseURL();

// The support page, `baseURL` + "/donate.html"; empty when `baseURL` is.
[[nodiscard]] const std::string& supportURL();

// The registered product ids and their names: the only ids the portal accepts.
[[nodiscard]] const std::map<std::string, std::string, std::less<>>& productNames();

// "/guides/<id>.html" on the maker's origin; nothing for an id outside `productNames`.
[[nodiscard]] std::optional<std::string> guide(std::string_view productID);

// The guide with the fragment "comments".
[[nodiscard]] std::optional<std::string> comments(std::string_view productID);

// "/community.html?product=<id>&embed=center" on the maker's origin.
[[nodiscard]] std::optional<std::string> community(std::string_view productID);

// The plain address of a destination.
[[nodiscard]] std::optional<std::string> url(const PortalDestination& destination);

// The address the embedded view loads: the guide with "?embed=center", the community page as
// it is (it carries the query already), the support page without a query.
[[nodiscard]] std::optional<std::string> embeddedURL(const PortalDestination& destination);

// Whether the address is on the maker's origin: https, exactly the origin's host in any letter
// case, no port or 443, no user or password. Path, query and fragment play no part.
[[nodiscard]] bool isTrustedOrigin(std::string_view url);

// Where a navigation to `url` goes: the maker's origin stays embedded; in the main frame (or a
// new window) another https address with a host opens in the browser; everything else, and
// anything with credentials, is blocked.
[[nodiscard]] PortalNavigationDisposition navigationDisposition(std::string_view url,
                                                                bool isMainFrame);

} // namespace PortalLinks
