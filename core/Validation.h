#pragma once

#include "core/Records.h"

#include <string_view>

namespace CenterCore {

// Throws CenterError::invalid at the first rule the catalog breaks (structure, products,
// releases); artifact errors pass through from validateArtifact. Registry membership is
// checked separately by validateRegistered.
void validateCatalog(const CenterCatalog& catalog);

// Throws CenterError::invalid unless the artifact has a well-formed address, a size of
// 1 byte to 20 GiB, a 64-digit hexadecimal digest, and an HTTPS address without credentials.
void validateArtifact(const ReleaseArtifact& artifact);

// Throws CenterError::invalid unless the address is HTTPS with a host and no user, password
// or fragment. The address is parsed by libcurl, the same parser that later fetches it.
void validateHTTPS(std::string_view address);

} // namespace CenterCore
