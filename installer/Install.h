#pragma once

#include "core/Records.h"
#include "installer/InstallOperations.h"
#include "installer/RunningApplications.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

namespace CenterInstaller {

// The folder that holds the applications unless the caller names another.
[[nodiscard]] inline std::filesystem::path defaultApplicationsDirectory() {
    return "/Applications";
}

// Installs or updates the product from a ZIP package holding the release. A first
// installation moves the new bundle into place; an update first makes a complete, verified
// backup copy in `backupDirectory`, then swaps the bundle's Contents and rolls back on any
// failure. Throws CenterError or a file-system error; a failed rollback names the backup copy.
// Installations into one applications folder take turns. A stop request ends the run at its
// next safe point, before the installed bundle is touched, with CancellationError; once the
// Contents are being swapped the run completes or rolls back as for any failure.
[[nodiscard]] InstallReceipt
install(const std::filesystem::path& zip, const CenterProduct& product,
        const CenterRelease& release, const std::filesystem::path& applicationsDirectory,
        const std::filesystem::path& backupDirectory, const RunningCheck& runningCheck = isRunning,
        InstallOperations& operations = systemOperations(), std::stop_token stop = {});

// Installs the installed version again over a damaged copy, from a ZIP package of that version:
// the transaction of an update (a proven backup of the damaged copy first, the staged copy
// checked against its seal), without the rule that the release be newer.
[[nodiscard]] InstallReceipt reinstall(const std::filesystem::path& zip,
                                       const CenterProduct& product, const CenterRelease& release,
                                       const std::filesystem::path& applicationsDirectory,
                                       const std::filesystem::path& backupDirectory,
                                       const RunningCheck& runningCheck = isRunning,
                                       InstallOperations& operations = systemOperations(),
                                       std::stop_token stop = {});

// Puts a backup copy of the product back in place with the same transaction as an update: the
// backup is validated like a new package (identity, registered product, seal), copied into
// staging and never moved, and the installed copy is first backed up itself, so a restore can
// be undone in turn. A deliberate downgrade: any version of the product may be restored.
[[nodiscard]] InstallReceipt
restore(const std::filesystem::path& backup, const CenterProduct& product,
        const std::filesystem::path& applicationsDirectory,
        const std::filesystem::path& backupDirectory, const RunningCheck& runningCheck = isRunning,
        InstallOperations& operations = systemOperations(), std::stop_token stop = {});

// Takes the product's installed copy out of `applicationsDirectory`: a complete, proven backup
// copy first, named like every backup in `backupDirectory` so the version history lists it and
// restore() brings it back, then the bundle leaves in one rename. Refused while the application
// runs; a stop request before the rename ends the run with CancellationError, the copy in place.
// Returns the backup's path.
std::filesystem::path removeInstalled(const CenterProduct& product,
                                      const std::filesystem::path& applicationsDirectory,
                                      const std::filesystem::path& backupDirectory,
                                      const RunningCheck& runningCheck = isRunning,
                                      InstallOperations& operations = systemOperations(),
                                      std::stop_token stop = {});

} // namespace CenterInstaller
