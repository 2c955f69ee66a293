#pragma once

#include <filesystem>
#include <string_view>

// Ed25519 signature checks (RFC 8032) with raw 32-byte public keys and 64-byte signatures.
namespace Ed25519 {

// Whether `signature` is the key's signature of `message`; false for a malformed key or
// signature.
[[nodiscard]] bool verifies(std::string_view message, std::string_view signature,
                            std::string_view publicKey);

// The same over a file's bytes, mapped rather than read. Throws
// std::filesystem::filesystem_error when the file cannot be opened or mapped.
[[nodiscard]] bool verifiesFile(const std::filesystem::path& file, std::string_view signature,
                                std::string_view publicKey);

} // namespace Ed25519
