#pragma once

#include "core/Records.h"

#include <cstdint>
#include <string_view>

namespace CenterCore {

// Whether the text is a SHA-256 digest as a catalog lists it: 64 hexadecimal digits.
[[nodiscard]] bool isDigestText(std::string_view digest);

// The largest artifact a catalog may list.
inline constexpr std::int64_t maximumArtifactBytes = 20LL << 30;

// Throws CenterError::invalid at the first rule the catalog breaks (structure, products,
// releases); artifact errors pass through from validateArtifact. Registry membership is
// checked separately by validateRegistered.
void validateCatalog(const CenterCatalog& catalog);

// Throws CenterError::invalid unless the artifact has a well-formed address, a size of
// 1 byte to 20 GiB, a 64-digit hexadecimal digest, and an HTTPS address without credentials.
void validateArtifact(const ReleaseArtifact& artifact);

// The size rule of validateArtifact alone, so a file can be refused before it is read.
void validateArtifactSize(std::int64_t byteCount);

// Throws CenterError::invalid unless the address is well formed (with a valid port, if any)
// and HTTPS with a host and no user, password or fragment, always with the one sentence of the
// HTTPS rule. The address is parsed by libcurl, the same parser that later fetches it.
void validateHTTPS(std::string_view address);

} // namespace CenterCore
