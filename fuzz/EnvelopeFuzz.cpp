// Signed envelopes as the catalog address serves them, verified against a fixed key.
#include "core/CenterError.h"
#include "core/Envelope.h"

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string key(32, '\x2a');
    std::string_view envelope(reinterpret_cast<const char*>(data), size);
    try {
        static_cast<void>(CenterCore::verifyCatalog(envelope, key));
    } catch (const nlohmann::json::exception&) {
    } catch (const CenterError&) {
    }
    return 0;
}
