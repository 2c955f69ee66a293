#include "transport/ConnectTo.h"

#include "transport/TransferError.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace ConnectTo {

CHandle<curl_slist_free_all> fromEnvironment() {
    CHandle<curl_slist_free_all> list;
    const char* value = std::getenv("KESTRYN_CONNECT_TO");
    std::string_view rest = value == nullptr ? std::string_view() : std::string_view(value);
    while (!rest.empty()) {
        std::size_t comma = rest.find(',');
        std::string_view piece = rest.substr(0, comma);
        rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
        std::size_t first = piece.find_first_not_of(' ');
        if (first == std::string_view::npos) {
            continue;
        }
        const std::string entry(piece.substr(first, piece.find_last_not_of(' ') - first + 1));
        curl_slist* longer = curl_slist_append(list.get(), entry.c_str());
        if (longer == nullptr) {
            throw TransferError(CURLE_OUT_OF_MEMORY, std::string_view());
        }
        static_cast<void>(list.release());
        list.reset(longer);
    }
    return list;
}

} // namespace ConnectTo
