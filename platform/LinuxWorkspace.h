#pragma once

#include "platform/Workspace.h"

namespace CenterPlatform {

// The desktop services of a freedesktop system: applications start from their bundle's
// executable, files and addresses open through xdg-open, the file manager is asked over D-Bus
// to show items, and running applications come from /proc.
class LinuxWorkspace : public Workspace {
  public:
    std::optional<std::string> openApplication(const std::filesystem::path& bundle) override;
    bool openFile(const std::filesystem::path& file) override;
    bool openURL(const std::string& url) override;
    void reveal(const std::vector<std::filesystem::path>& items) override;
    std::vector<CenterInstaller::RunningApplication> runningApplications() override;
};

} // namespace CenterPlatform
