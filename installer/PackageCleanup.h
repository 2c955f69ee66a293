#pragma once

#include "core/Records.h"

#include <cstdint>
#include <filesystem>
#include <set>
#include <vector>

namespace CenterInstaller {

// Which kept packages no longer serve the user: the cleaning of "Downloads" and "Imported".
namespace PackageCleanup {

struct Package {
    std::filesystem::path file;
    std::uintmax_t bytes = 0;

    friend bool operator==(const Package&, const Package&) = default;
};

// The packages that can go, oldest reasons first:
// - in `downloads`, every copy of a downloaded package beyond the first with the same bytes
//   (same size and SHA-256), a recorded copy counting as the first, and every ZIP whose
//   application is an installed one at an older version; the package of the installed version
//   itself stays, as every newer one and every package whose content cannot be read;
// - in `imported`, every file that `recorded` does not name.
// A file that `recorded` names (lexically normal) and hidden files (partial downloads and their
// validators, locks) are never among them.
[[nodiscard]] std::vector<Package> unneeded(const std::filesystem::path& downloads,
                                            const std::filesystem::path& imported,
                                            const std::set<std::filesystem::path>& recorded,
                                            const std::vector<InstalledApp>& installed);

// Removes the packages and returns those removed; one that cannot be removed is left out.
[[nodiscard]] std::vector<Package> remove(const std::vector<Package>& packages);

} // namespace PackageCleanup
} // namespace CenterInstaller
