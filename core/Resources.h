#pragma once

#include <filesystem>

namespace CenterCore {

// The folder of the shipped resources (Catalog.json, Info.plist, PublicKey.txt):
// $KESTRYN_RESOURCES when set, otherwise "resources" beside the folder of the running program.
[[nodiscard]] std::filesystem::path resourcesDirectory();

} // namespace CenterCore
