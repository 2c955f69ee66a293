#include "installer/PackageCleanup.h"

#include "core/Digest.h"
#include "core/Versions.h"
#include "installer/PackagedApp.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <system_error>

namespace CenterInstaller::PackageCleanup {
namespace {

namespace fs = std::filesystem;

// The visible regular files of a folder, by name, so the first of equal copies is stable.
std::vector<Package> visibleFiles(const fs::path& folder) {
    std::vector<Package> files;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code kind;
        if (it->path().filename().string().starts_with('.') || it->is_symlink(kind) ||
            !it->is_regular_file(kind)) {
            continue;
        }
        const std::uintmax_t bytes = it->file_size(kind);
        if (!kind) {
            files.push_back({it->path(), bytes});
        }
    }
    std::sort(files.begin(), files.end(),
              [](const Package& a, const Package& b) { return a.file < b.file; });
    return files;
}

std::optional<std::string> digestOf(const fs::path& file) {
    try {
        return CenterCore::sha256(file);
    } catch (const fs::filesystem_error&) {
        return std::nullopt;
    }
}

// Whether the ZIP holds an installed application at a version older than the installed one.
bool isOlderThanInstalled(const fs::path& file, const std::vector<InstalledApp>& installed) {
    std::optional<InstalledApp> packaged = readPackagedApp(file);
    if (!packaged) {
        return false;
    }
    return std::any_of(installed.begin(), installed.end(), [&](const InstalledApp& app) {
        return app.bundleID == packaged->bundleID &&
               CenterCore::compareVersions(packaged->version, packaged->build, app.version,
                                           app.build) < 0;
    });
}

} // namespace

std::vector<Package> unneeded(const fs::path& downloads, const fs::path& imported,
                              const std::set<fs::path>& recorded,
                              const std::vector<InstalledApp>& installed) {
    std::vector<Package> found;
    std::vector<Package> kept;
    // Only files of equal size are read for their digest.
    std::multimap<std::uintmax_t, std::pair<fs::path, std::optional<std::string>>> bySize;
    const auto isRecorded = [&recorded](const Package& package) {
        return recorded.contains(package.file.lexically_normal());
    };
    for (const Package& package : visibleFiles(downloads)) {
        if (!isRecorded(package) && package.file.extension() == ".zip" &&
            isOlderThanInstalled(package.file, installed)) {
            found.push_back(package);
        } else {
            kept.push_back(package);
        }
    }
    // The copy a record names is the one of equal copies that stays.
    std::stable_partition(kept.begin(), kept.end(), isRecorded);
    for (const Package& package : kept) {
        auto [first, last] = bySize.equal_range(package.bytes);
        std::optional<std::string> digest;
        bool duplicate = false;
        for (auto it = first; it != last && !duplicate; ++it) {
            if (!it->second.second) {
                it->second.second = digestOf(it->second.first);
            }
            if (!digest) {
                digest = digestOf(package.file);
            }
            duplicate = digest && it->second.second == digest;
        }
        if (duplicate && !isRecorded(package)) {
            found.push_back(package);
        } else {
            bySize.emplace(package.bytes, std::make_pair(package.file, digest));
        }
    }
    for (const Package& package : visibleFiles(imported)) {
        if (!recorded.contains(package.file.lexically_normal())) {
            found.push_back(package);
        }
    }
    return found;
}

std::vector<Package> remove(const std::vector<Package>& packages) {
    std::vector<Package> removed;
    for (const Package& package : packages) {
        std::error_code error;
        if (fs::remove(package.file, error) && !error) {
            removed.push_back(package);
        }
    }
    return removed;
}

} // namespace CenterInstaller::PackageCleanup
