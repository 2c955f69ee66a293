#include "model/KeptPackages.h"

#include "installer/PackagedApp.h"

#include <system_error>

std::vector<InstalledApp> keptPackages(const std::vector<std::filesystem::path>& folders,
                                       const std::string& bundleID) {
    std::vector<InstalledApp> found;
    for (const std::filesystem::path& folder : folders) {
        std::error_code error;
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            std::error_code kind;
            if (it->path().extension() != ".zip" ||
                it->path().filename().string().starts_with('.') || it->is_symlink(kind) ||
                !it->is_regular_file(kind)) {
                continue;
            }
            std::optional<InstalledApp> packaged = CenterInstaller::readPackagedApp(it->path());
            if (packaged && packaged->bundleID == bundleID) {
                found.push_back(std::move(*packaged));
            }
        }
    }
    return found;
}
