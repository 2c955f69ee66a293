#pragma once

#include "core/Records.h"
#include "installer/InstallOperations.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace CenterInstaller {

// The complete copies of replaced versions in the backup folder, as read from the bundles
// themselves (never from their names), and their retention.
namespace Backups {

// How the name of a folder begins while an update copies the installed bundle into it or a
// prune removes a backup through it; what a killed run left under it is swept later.
inline constexpr const char* workPrefix = ".kestryn-backup-";

// One backup copy of a product.
struct Backup {
    std::string product;
    std::filesystem::path path;
    std::string version;
    std::string build;
    // When the copy was made: the last change of the folder itself, its move into place.
    std::chrono::system_clock::time_point date;
    std::uintmax_t bytes = 0;

    friend bool operator==(const Backup&, const Backup&) = default;
};

// The product's backups in the folder, newest first (by date, then by version). A folder
// that is not a readable bundle of the product's identifier is not one of them.
[[nodiscard]] std::vector<Backup> list(const std::filesystem::path& backupDirectory,
                                       const CenterProduct& product);

// Every product's backups from one reading of the folder, each product's newest first; a
// product without backups has no entry.
[[nodiscard]] std::map<std::string, std::vector<Backup>>
list(const std::filesystem::path& backupDirectory, const std::vector<CenterProduct>& products);

// The bytes of the regular files under a folder, links not followed; 0 when it is missing.
[[nodiscard]] std::uintmax_t folderBytes(const std::filesystem::path& folder);

// Which of a product's backups (newest first) a limit of `keep` removes: all after the newest
// `keep`, except the newest of all, the backup of the version installed before the current
// one, which stays whatever the limit.
[[nodiscard]] std::vector<Backup> beyondLimit(const std::vector<Backup>& newestFirst,
                                              std::size_t keep);

// Removes the products' backups beyond the limit and returns those removed; the backups in
// `spared` (the one a restore just came from) stay whatever the limit. Each one is first
// renamed to a work folder, so a backup's name always stands for a complete copy even when the
// removal is cut short. A backup that cannot be removed is left and not returned.
[[nodiscard]] std::vector<Backup> prune(const std::filesystem::path& backupDirectory,
                                        const std::vector<CenterProduct>& products,
                                        std::size_t keep,
                                        const std::vector<std::filesystem::path>& spared = {},
                                        InstallOperations& operations = systemOperations());

// Removes what killed runs left in the backup folder: partial copies and half-removed backups
// that no running process holds. Never throws.
void sweepWork(const std::filesystem::path& backupDirectory,
               InstallOperations& operations = systemOperations());

} // namespace Backups
} // namespace CenterInstaller
