#pragma once

#include <filesystem>
#include <string_view>
#include <sys/types.h>

// Files the center rewrites as a whole: after a crash they hold either the old or the new
// contents, never a mix.
namespace AtomicFile {

// Writes a temporary file beside `file` (with this mode, less the umask), flushes it to disk,
// renames it over `file` and flushes the folder. Throws the file system's error, naming `file`
// rather than the temporary; the old file then stays as it was and no temporary file remains.
void write(const std::filesystem::path& file, std::string_view contents, mode_t mode = 0644);

} // namespace AtomicFile
