#pragma once

#include <curl/curl.h>
#include <optional>
#include <string>

namespace CenterCore {

// The text of one component of an address libcurl has parsed, or nothing when the address does
// not have it.
[[nodiscard]] std::optional<std::string> urlComponent(CURLU* url, CURLUPart part);

} // namespace CenterCore
