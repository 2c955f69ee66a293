#pragma once

#include <filesystem>
#include <string_view>

// The check of a downloaded enclosure against its sparkle:edSignature: an Ed25519 signature of
// the whole package file, made before anything opens the package.
namespace EnclosureSignature {

// Whether `signature` is the raw key's signature of the file's bytes, mapped rather than read;
// false for a malformed key or signature. Throws std::filesystem::filesystem_error when the
// file cannot be opened or mapped.
[[nodiscard]] bool verifies(const std::filesystem::path& file, std::string_view signature,
                            std::string_view publicKey);

} // namespace EnclosureSignature
