// Catalog documents from the network or disk: decoding, validation and the registry must end in
// a result or one of their own errors, never a crash.
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/Registry.h"
#include "core/Validation.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view document(reinterpret_cast<const char*>(data), size);
    try {
        CenterCatalog catalog = CenterCore::decodeCatalog(document);
        CenterCore::validateCatalog(catalog);
        CenterCore::validateRegistered(catalog);
        static_cast<void>(CenterCore::decodeCatalog(CenterCore::toJSON(catalog).dump()));
    } catch (const nlohmann::json::exception&) {
    } catch (const CenterError&) {
    }
    return 0;
}
