#pragma once

#include "core/FileDescriptor.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace CenterCore {

// Opens an existing file for reading. It is looked at before it is opened, so that nothing
// but a regular file is ever read: a folder is refused with EISDIR, a named pipe, a device or
// a socket with a CenterError::invalid that says what it is. Throws
// std::filesystem::filesystem_error when the file is missing or cannot be opened.
[[nodiscard]] FileDescriptor openRegularFile(const std::filesystem::path& file);

// The whole content of a regular file (as openRegularFile opens it), read only when it is at
// most `maximumBytes` long; a longer file yields its first maximumBytes + 1 bytes so the caller
// can refuse it by size alone. Throws std::filesystem::filesystem_error when it cannot be read.
[[nodiscard]] std::string readFileContents(const std::filesystem::path& file,
                                           std::size_t maximumBytes);

// Copies the user's regular file to `copy`, a new file under a name of the center's own. Every
// failure names the user's file alone: a missing one as missing, a failed write with its reason.
void copyRegularFile(const std::filesystem::path& file, const std::filesystem::path& copy);

} // namespace CenterCore
