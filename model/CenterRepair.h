#pragma once

#include "core/Records.h"
#include "installer/RunningApplications.h"
#include "model/CenterRules.h"

#include <filesystem>
#include <optional>
#include <stop_token>

// A repair: the installed version put back over its copy from what the center keeps of it.
namespace CenterRepair {

// What a repair did: the reinstalled copy, the package to record as the one the installed version
// came from when that changed, and whether the recorded package was refused on the way.
struct Result {
    InstallReceipt receipt;
    std::optional<CenterRules::LocalPackage> recordAnew;
    bool refusedRecorded = false;
};

// Reinstalls `copy`'s version from, in turn: the recorded package while it has its recorded size
// and SHA-256; a whole backup of the version that passes its seal; another package of the version
// in "Downloads" or "Imported" of `support`, whose bytes nothing vouches for. A recorded package
// whose bytes changed is never taken. The damaged copy is backed up first. Throws CenterUIError
// when there is none, or the installer's error; hashes and reads packages, so never on the
// window's thread.
[[nodiscard]] Result run(const CenterProduct& product, const InstalledApp& copy,
                         const std::optional<CenterRules::LocalPackage>& recorded,
                         const std::filesystem::path& support,
                         const CenterInstaller::RunningCheck& running, std::stop_token stop);

} // namespace CenterRepair
