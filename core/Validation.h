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

// The HTTPS rules on addresses, both over WebAddress's parse of the text. The settings fields
// take an address that is well formed (with a valid port, if any), HTTPS with a host, and
// without user or password. The transport, which fetches it, also refuses a fragment.
[[nodiscard]] bool isHTTPSAddress(std::string_view address);

// Throws CenterError::invalid, always with the one sentence of the HTTPS rule, unless the
// address is one the settings fields take and has no fragment.
void validateHTTPS(std::string_view address);

} // namespace CenterCore
