#pragma once

#include "model/CenterRules.h"

#include <filesystem>

// The two lists of imported packages in the support folder: LocalPackages.json (product id →
// the imported copy's path) and LocalReleases.json (product id → the release it holds).
namespace LocalLists {

inline constexpr const char* packagesFile = "LocalPackages.json";
inline constexpr const char* releasesFile = "LocalReleases.json";

// A list that is missing is empty. Throws the file system's or the JSON decoder's error, or
// CenterError for a release that is not one.
[[nodiscard]] CenterRules::LocalPackages readPackages(const std::filesystem::path& support);
[[nodiscard]] CenterRules::LocalReleases readReleases(const std::filesystem::path& support);

// Rewrite a whole list atomically (releases without their artifact).
void writePackages(const std::filesystem::path& support, const CenterRules::LocalPackages& list);
void writeReleases(const std::filesystem::path& support, const CenterRules::LocalReleases& list);

} // namespace LocalLists
