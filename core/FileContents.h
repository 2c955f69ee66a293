#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace CenterCore {

// The whole content of a file, read only when it is at most `maximumBytes` long; a longer
// file yields its first maximumBytes + 1 bytes so the caller can refuse it by size alone.
// Throws std::filesystem::filesystem_error when it cannot be opened or read.
[[nodiscard]] std::string readFileContents(const std::filesystem::path& file,
                                           std::size_t maximumBytes);

} // namespace CenterCore
