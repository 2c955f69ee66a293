#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace CenterInstaller {

// A running application: a process whose executable lies inside an application bundle.
struct RunningApplication {
    std::string bundleID;
    std::filesystem::path bundleURL;

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// The applications running now, from the processes this user may inspect, each bundle once.
[[nodiscard]] std::vector<RunningApplication> runningApplications();

// Whether an application with exactly this bundle identifier runs, or, when `url` is given,
// one whose bundle is that same folder once symbolic links are resolved on both sides.
[[nodiscard]] bool isRunning(const std::string& bundleID,
                             const std::optional<std::filesystem::path>& url);

// Whether the application with this bundle identifier (or at this bundle) runs now.
using RunningCheck = std::function<bool(const std::string& bundleID,
                                        const std::optional<std::filesystem::path>& url)>;

} // namespace CenterInstaller
