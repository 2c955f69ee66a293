#pragma once

#include <filesystem>
#include <stop_token>

namespace CenterInstaller {

// Copies the folder `from` to the new path `to`: every file with its data copied inside the
// kernel (cloned where the file system can), modes, access and modification times, extended
// attributes, symbolic links as links and named pipes as pipes. `to` must not exist yet.
// Throws std::filesystem::filesystem_error at the first item that cannot be copied; what was
// copied so far is left for the caller to remove. A stop request ends it between two files with
// CancellationError.
void copyBundle(const std::filesystem::path& from, const std::filesystem::path& to,
                std::stop_token stop = {});

} // namespace CenterInstaller
