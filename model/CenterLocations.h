#pragma once

#include "core/Records.h"

#include <filesystem>
#include <optional>
#include <vector>

// Where the center keeps its files on this desktop: the XDG folders of the user running it.
namespace CenterLocations {

// $XDG_DATA_HOME/KESTRYN Center, or ~/.local/share/KESTRYN Center: the local lists and the
// "Downloads", "Backups" and "Imported" folders.
[[nodiscard]] std::filesystem::path supportDirectory();

// $XDG_CONFIG_HOME/KESTRYN Center/settings.json, or the same under ~/.config.
[[nodiscard]] std::filesystem::path settingsFile();

// The applications folder an installation goes into: the one holding the installed copy;
// without a copy, the first folder that exists and is writable, else the last one (created by
// the installer), so that an update never leaves a second copy beside the user's old one.
[[nodiscard]] std::filesystem::path
installationFolder(const std::optional<InstalledApp>& installed,
                   const std::vector<std::filesystem::path>& applicationFolders);

} // namespace CenterLocations
