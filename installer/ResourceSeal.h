#pragma once

#include <filesystem>

namespace CenterInstaller {

// The resource seal of a bundle: Contents/_CodeSignature/CodeResources, an XML property list
// whose `files2` maps every path under Contents/ to the SHA-256 of that file (`hash2`) or to
// the target of that symbolic link (`symlink`), in the format the platform's signing tool uses.
namespace ResourceSeal {

// The seal's place inside a bundle.
[[nodiscard]] std::filesystem::path sealPath(const std::filesystem::path& app);

// Seals every file and link under Contents/ except the seal folder itself, the main executable
// and Info.plist included, replacing any seal that was there.
void write(const std::filesystem::path& app);

// Throws CenterError::install ("验证或安装未完成：" and the reason) unless the seal parses, every
// sealed file is present with its digest (optional ones where present), nothing under
// Contents/ is unsealed, and no link points outside the bundle.
void check(const std::filesystem::path& app);

} // namespace ResourceSeal
} // namespace CenterInstaller
