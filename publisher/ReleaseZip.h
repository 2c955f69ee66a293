#pragma once

#include <filesystem>
#include <string>

// Release packages as the center's installer accepts them.
namespace CenterPublisher {

// Writes `output`, a ZIP holding exactly the application folder `app` under its own name:
// folders and files in sorted order, Unix modes kept, deflated where that saves space, no links
// and no ZIP64. Proves the result with the installer's own inspection and returns the top-level
// name. On any failure nothing is left at `output`.
std::string packRelease(const std::filesystem::path& app, const std::filesystem::path& output);

} // namespace CenterPublisher
