#pragma once

#include <filesystem>
#include <string>

namespace CenterInstaller {

// The name of the single top-level application folder of a ZIP package (for example
// "Sample.app"), after proving from the headers alone that the package is safe to unpack.
// Throws CenterError::invalid with the reason; file-reading errors pass through.
[[nodiscard]] std::string inspectZIP(const std::filesystem::path& zip);

} // namespace CenterInstaller
