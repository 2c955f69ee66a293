#pragma once

#include "core/Records.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace CenterCore {

// The largest signed catalog envelope that is examined at all.
inline constexpr std::size_t maximumEnvelopeBytes = 8 * 1024 * 1024;

// The 32 raw bytes of the catalog public key from `PublicKey.txt` in the resources folder.
// Throws CenterError::invalid when the key is missing or unusable: online updates are off.
[[nodiscard]] std::string loadPublicKey(const std::filesystem::path& resources);

// The same for a key file in the `PublicKey.txt` format at any path the user names. Throws
// CenterError::invalid naming the file when it is missing or holds no public key, and the
// file system's error when it cannot be read for another reason.
[[nodiscard]] std::string loadPublicKeyFile(const std::filesystem::path& file);

// The catalog inside a signed envelope, after its Ed25519 signature, its decoding, its
// validation and the registry have all passed. Throws CenterError::signature for anything wrong
// with the envelope or signature, the JSON decoder's error for a signed non-catalog, and
// CenterError::invalid for a catalog that breaks a rule.
[[nodiscard]] CenterCatalog verifyCatalog(std::string_view envelope, std::string_view publicKey);

} // namespace CenterCore
