#include "installer/RunningApplications.h"

#include "core/PropertyList.h"

#include <algorithm>
#include <set>
#include <system_error>

namespace CenterInstaller {
namespace {

namespace fs = std::filesystem;

// The innermost folder ending in ".app" that contains the executable.
std::optional<fs::path> enclosingBundle(const fs::path& executable) {
    for (fs::path folder = executable.parent_path(); folder.has_relative_path();
         folder = folder.parent_path()) {
        if (folder.extension() == ".app") {
            return folder;
        }
    }
    return std::nullopt;
}

bool isProcessFolder(const fs::path& entry) {
    const std::string name = entry.filename().string();
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

fs::path resolved(const fs::path& path) {
    std::error_code error;
    fs::path real = fs::canonical(path, error);
    return error ? path.lexically_normal() : real;
}

} // namespace

std::vector<RunningApplication> runningApplications() {
    std::vector<RunningApplication> found;
    std::set<fs::path> seen;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
        if (!isProcessFolder(it->path())) {
            continue;
        }
        std::error_code unreadable;
        fs::path executable = fs::read_symlink(it->path() / "exe", unreadable);
        if (unreadable) {
            continue;
        }
        std::optional<fs::path> bundle = enclosingBundle(executable);
        if (!bundle || !seen.insert(*bundle).second) {
            continue;
        }
        std::optional<PropertyList> info = PropertyList::read(*bundle / "Contents" / "Info.plist");
        std::optional<std::string> bundleID;
        if (info && info->isDictionary()) {
            bundleID = info->string("CFBundleIdentifier");
        }
        found.push_back({bundleID.value_or(""), *bundle});
    }
    return found;
}

bool isRunning(const std::string& bundleID, const std::optional<fs::path>& url) {
    std::optional<fs::path> wanted;
    if (url) {
        wanted = resolved(*url);
    }
    for (const RunningApplication& application : runningApplications()) {
        if ((!application.bundleID.empty() && application.bundleID == bundleID) ||
            (wanted && resolved(application.bundleURL) == *wanted)) {
            return true;
        }
    }
    return false;
}

} // namespace CenterInstaller
