#pragma once

#include "core/Records.h"

#include <filesystem>
#include <string>

namespace CenterCore {

// The SHA-256 of a file as 64 lower-case hexadecimal digits, read in 1 MiB chunks.
// Throws std::filesystem::filesystem_error when the file cannot be opened or read.
[[nodiscard]] std::string sha256(const std::filesystem::path& file);

// Throws CenterError::checksum unless the file has exactly the artifact's size and digest.
// The size is checked first, so a file of the wrong size is never read.
void verifyFile(const std::filesystem::path& file, const ReleaseArtifact& artifact);

} // namespace CenterCore
