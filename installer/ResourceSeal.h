#pragma once

#include <filesystem>
#include <string>
#include <vector>

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

// One way a bundle's content departs from its seal.
struct SealProblem {
    enum class Kind {
        // A sealed file or link that is not there.
        missing,
        // A sealed file whose bytes, or a sealed link whose target, differ.
        changed,
        // A file or link under Contents/ the seal does not list.
        unsealed,
        // A sealed link that resolves outside the bundle.
        linkOutside,
    };
    Kind kind;
    // The path under Contents/.
    std::string path;
};

// Every way the content under Contents/ departs from the seal: the seal's paths in order, then
// the content's. Reads every sealed file once. Throws CenterError::install as check() for a seal
// that is missing or does not parse, and for nested code it cannot verify.
[[nodiscard]] std::vector<SealProblem> problems(const std::filesystem::path& app);

// Throws CenterError::install ("验证或安装未完成：" and the reason) unless the seal parses, every
// sealed file is present with its digest (optional ones where present), nothing under
// Contents/ is unsealed, and no link points outside the bundle.
void check(const std::filesystem::path& app);

} // namespace ResourceSeal
} // namespace CenterInstaller
