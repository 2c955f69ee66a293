#include "core/Resources.h"

#include <cstdlib>
#include <system_error>

namespace CenterCore {

std::filesystem::path resourcesDirectory() {
    if (const char* overridden = std::getenv("KESTRYN_RESOURCES");
        overridden != nullptr && *overridden != '\0') {
        return overridden;
    }
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return "resources";
    }
    const std::filesystem::path prefix = program.parent_path().parent_path();
    if (std::filesystem::path installed = prefix / "share" / "kestryn-center";
        std::filesystem::is_directory(installed, error)) {
        return installed;
    }
    return prefix / "resources";
}

} // namespace CenterCore
