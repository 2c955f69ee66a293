#include "model/CenterLocations.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace CenterLocations {
namespace {

namespace fs = std::filesystem;

fs::path home() {
    if (const char* value = std::getenv("HOME"); value != nullptr && *value == '/') {
        return value;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

// An XDG base folder: the variable when it holds an absolute path, else the fallback in home.
fs::path xdgFolder(const char* variable, const char* fallback) {
    if (const char* value = std::getenv(variable); value != nullptr && *value == '/') {
        return value;
    }
    return home() / fallback;
}

} // namespace

fs::path supportDirectory() {
    return xdgFolder("XDG_DATA_HOME", ".local/share") / "KESTRYN Center";
}

fs::path settingsFile() {
    return xdgFolder("XDG_CONFIG_HOME", ".config") / "KESTRYN Center" / "settings.json";
}

fs::path installationFolder(const std::optional<InstalledApp>& installed,
                            const std::vector<fs::path>& applicationFolders) {
    if (installed) {
        return installed->url.parent_path();
    }
    for (const fs::path& folder : applicationFolders) {
        std::error_code error;
        if (fs::is_directory(folder, error) && ::access(folder.c_str(), W_OK) == 0) {
            return folder;
        }
    }
    return applicationFolders.empty() ? home() / "Applications" : applicationFolders.back();
}

} // namespace CenterLocations
