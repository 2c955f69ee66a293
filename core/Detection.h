#pragma once

#include "core/Records.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace CenterCore {

// The two folders searched for installed copies, in order of preference:
// /Applications, then Applications in the user's home folder.
[[nodiscard]] std::vector<std::filesystem::path> applicationDirectories();

// The identity of an application bundle from its Contents/Info.plist (XML or binary);
// nothing when it cannot be read or lacks any of the three keys as text.
[[nodiscard]] std::optional<InstalledApp> readInstalledApp(const std::filesystem::path& bundle);

// The same identity from Info.plist bytes already read (XML or binary), located at `url`.
[[nodiscard]] std::optional<InstalledApp> parseInstalledApp(std::string_view infoPlist,
                                                            const std::filesystem::path& url);

// The first copy of the product in the folders: earlier folders first, within a folder by
// file name. Preview-only products are never installed.
[[nodiscard]] std::optional<InstalledApp>
detectInstalled(const CenterProduct& product,
                const std::vector<std::filesystem::path>& folders = applicationDirectories());

// The copies of all the products in one pass over the folders, by product id: for each
// product the same copy detectInstalled finds, with every Info.plist read once.
[[nodiscard]] std::map<std::string, InstalledApp>
detectAllInstalled(const std::vector<CenterProduct>& products,
                   const std::vector<std::filesystem::path>& folders = applicationDirectories());

} // namespace CenterCore
