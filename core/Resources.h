#pragma once

#include <filesystem>

namespace CenterCore {

// The folder of the shipped resources (Catalog.json, Info.plist, PublicKey.txt): $KESTRYN_RESOURCES
// when set; otherwise, from the running program's folder, the installed "../share/kestryn-center"
// when it exists, else the build folder's "../resources".
[[nodiscard]] std::filesystem::path resourcesDirectory();

} // namespace CenterCore
