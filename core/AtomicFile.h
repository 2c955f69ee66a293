#pragma once

#include <filesystem>
#include <string_view>

// Files the center rewrites as a whole: after a crash they hold either the old or the new
// contents, never a mix.
namespace AtomicFile {

// Writes a temporary file beside `file`, flushes it to disk, renames it over `file` and
// flushes the folder. Throws the file system's error; the old file then stays as it was.
void write(const std::filesystem::path& file, std::string_view contents);

} // namespace AtomicFile
