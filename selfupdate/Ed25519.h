#pragma once

#include <filesystem>
#include <string_view>

// Ed25519 signature checks of whole files, on top of the core's check of a message.
namespace Ed25519 {

// Whether `signature` is the raw key's signature of the file's bytes, mapped rather than read;
// false for a malformed key or signature. Throws std::filesystem::filesystem_error when the
// file cannot be opened or mapped.
[[nodiscard]] bool verifiesFile(const std::filesystem::path& file, std::string_view signature,
                                std::string_view publicKey);

} // namespace Ed25519
