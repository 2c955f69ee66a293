#pragma once

#include "installer/RunningApplications.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace CenterPlatform {

// The desktop's services the center uses: starting applications, opening files and addresses
// with their default applications, showing files in the file manager and listing what runs.
class Workspace {
  public:
    virtual ~Workspace() = default;

    // Starts the application bundle; the user's sentence when it cannot be started.
    virtual std::optional<std::string> openApplication(const std::filesystem::path& bundle) = 0;
    // Opens the file with its default application; whether that succeeded.
    virtual bool openFile(const std::filesystem::path& file) = 0;
    // Opens the address in the default browser; whether that succeeded.
    virtual bool openURL(const std::string& url) = 0;
    // Shows the items, selected, in the file manager.
    virtual void reveal(const std::vector<std::filesystem::path>& items) = 0;
    virtual std::vector<CenterInstaller::RunningApplication> runningApplications() = 0;
};

} // namespace CenterPlatform
