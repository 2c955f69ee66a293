#pragma once

#include "core/Records.h"

#include <filesystem>
#include <string>
#include <vector>

// The ZIP packages the center keeps in its folders (Downloads, Imported) that hold an application
// with this bundle identifier, each as the application it holds, its `url` the package. Read
// from each package's own directory and Info.plist; hidden files, links and what cannot be read
// are passed over.
[[nodiscard]] std::vector<InstalledApp>
keptPackages(const std::vector<std::filesystem::path>& folders, const std::string& bundleID);
