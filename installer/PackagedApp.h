#pragma once

#include "core/Records.h"

#include <filesystem>
#include <optional>

namespace CenterInstaller {

// The identity (bundle identifier, version, build) of the one application a ZIP package holds,
// read from its Contents/Info.plist entry alone, without unpacking anything else. Nothing when
// the package fails the inspection or that entry is missing or unreadable. The identity's `url`
// is the package itself.
[[nodiscard]] std::optional<InstalledApp> readPackagedApp(const std::filesystem::path& zip);

} // namespace CenterInstaller
