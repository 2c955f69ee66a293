#include "installer/Backups.h"

#include "core/Detection.h"
#include "core/Versions.h"
#include "installer/WorkFolder.h"

#include <algorithm>
#include <sys/stat.h>
#include <system_error>
#include <utility>

namespace CenterInstaller::Backups {
namespace {

namespace fs = std::filesystem;

std::chrono::system_clock::time_point changeTime(const fs::path& folder) {
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) {
        return {};
    }
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(status.st_ctim.tv_sec) +
            std::chrono::nanoseconds(status.st_ctim.tv_nsec)));
}

} // namespace

std::map<std::string, std::vector<Backup>> list(const fs::path& backupDirectory,
                                                const std::vector<CenterProduct>& products) {
    std::map<std::string, std::vector<Backup>> found;
    std::error_code error;
    for (fs::directory_iterator it(backupDirectory, error), end; !error && it != end;
         it.increment(error)) {
        const fs::path& folder = it->path();
        std::error_code kind;
        if (folder.filename().string().starts_with('.') || it->is_symlink(kind) ||
            !it->is_directory(kind)) {
            continue;
        }
        std::optional<InstalledApp> app = CenterCore::readInstalledApp(folder);
        if (!app) {
            continue;
        }
        for (const CenterProduct& product : products) {
            if (app->bundleID == product.bundleID) {
                found[product.id].push_back({product.id, folder, app->version, app->build,
                                             changeTime(folder), folderBytes(folder)});
            }
        }
    }
    for (auto& [product, backups] : found) {
        std::sort(backups.begin(), backups.end(), [](const Backup& a, const Backup& b) {
            if (a.date != b.date) {
                return a.date > b.date;
            }
            return CenterCore::compareVersions(a.version, a.build, b.version, b.build) > 0;
        });
    }
    return found;
}

std::vector<Backup> list(const fs::path& backupDirectory, const CenterProduct& product) {
    auto found = list(backupDirectory, std::vector<CenterProduct>{product});
    return found.empty() ? std::vector<Backup>{} : std::move(found.begin()->second);
}

std::uintmax_t folderBytes(const fs::path& folder) {
    std::uintmax_t total = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code kind;
        if (it->is_regular_file(kind) && !it->is_symlink(kind)) {
            total += it->file_size(kind);
        }
    }
    return total;
}

std::vector<Backup> beyondLimit(const std::vector<Backup>& newestFirst, std::size_t keep) {
    std::size_t kept = std::max<std::size_t>(keep, 1);
    return newestFirst.size() > kept
               ? std::vector<Backup>(newestFirst.begin() + static_cast<std::ptrdiff_t>(kept),
                                     newestFirst.end())
               : std::vector<Backup>{};
}

std::vector<Backup> prune(const fs::path& backupDirectory,
                          const std::vector<CenterProduct>& products, std::size_t keep,
                          const std::vector<fs::path>& spared, InstallOperations& operations) {
    sweepWork(backupDirectory, operations);
    std::vector<Backup> removed;
    std::map<std::string, std::vector<Backup>> listed = list(backupDirectory, products);
    for (const CenterProduct& product : products) {
        for (const Backup& backup : beyondLimit(listed[product.id], keep)) {
            if (std::any_of(spared.begin(), spared.end(), [&](const fs::path& kept) {
                    return kept.lexically_normal() == backup.path.lexically_normal();
                })) {
                continue;
            }
            try {
                WorkFolder removal(backupDirectory, workPrefix, operations);
                operations.move(backup.path, removal.path() / backup.path.filename());
                removed.push_back(backup);
            } catch (...) {
                // Left in place, still complete, for the next prune.
            }
        }
    }
    return removed;
}

void sweepWork(const fs::path& backupDirectory, InstallOperations& operations) {
    sweepWorkFolders(backupDirectory, workPrefix, operations);
}

} // namespace CenterInstaller::Backups
