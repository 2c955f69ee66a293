#pragma once

#include <string_view>

namespace CenterCore {

// Whether `publicKey` is a usable raw 32-byte Ed25519 public key.
[[nodiscard]] bool isEd25519PublicKey(std::string_view publicKey);

// Whether `signature` is the raw key's Ed25519 signature (RFC 8032) of `message`; false for a
// malformed key or signature.
[[nodiscard]] bool ed25519Verifies(std::string_view message, std::string_view signature,
                                   std::string_view publicKey);

} // namespace CenterCore
