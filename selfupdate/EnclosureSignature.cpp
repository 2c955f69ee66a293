#include "selfupdate/EnclosureSignature.h"

#include "core/Ed25519.h"
#include "core/FileMapping.h"

namespace EnclosureSignature {

bool verifies(const std::filesystem::path& file, std::string_view signature,
              std::string_view publicKey) {
    // Ed25519 hashes the message twice, so the whole file must be at hand; a mapping keeps it
    // out of the heap.
    CenterCore::FileMapping mapping(file);
    auto bytes = mapping.bytes();
    return CenterCore::ed25519Verifies(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), signature,
        publicKey);
}

} // namespace EnclosureSignature
