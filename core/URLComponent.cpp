#include "core/URLComponent.h"

#include "core/CHandle.h"

namespace CenterCore {

std::optional<std::string> urlComponent(CURLU* url, CURLUPart part) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, 0) != CURLUE_OK || raw == nullptr) {
        return std::nullopt;
    }
    CHandle<curl_free> owned(raw);
    return std::string(raw);
}

} // namespace CenterCore
