#pragma once

#include "model/CenterRules.h"

#include <filesystem>

// The two lists of kept packages in the support folder: LocalPackages.json (product id → the
// package's path, with its size and SHA-256 where recorded) and LocalReleases.json (product id →
// the release an imported package holds).
namespace LocalLists {

inline constexpr const char* packagesFile = "LocalPackages.json";
inline constexpr const char* releasesFile = "LocalReleases.json";

// A list that is missing is empty; a package given as its path alone, as earlier versions wrote
// it, or without its size and SHA-256, has no proof. Throws the file system's or the JSON decoder's
// error, or CenterError for a release that is not one.
[[nodiscard]] CenterRules::LocalPackages readPackages(const std::filesystem::path& support);
[[nodiscard]] CenterRules::LocalReleases readReleases(const std::filesystem::path& support);

// Rewrite a whole list atomically (releases without their artifact).
void writePackages(const std::filesystem::path& support, const CenterRules::LocalPackages& list);
void writeReleases(const std::filesystem::path& support, const CenterRules::LocalReleases& list);

} // namespace LocalLists
