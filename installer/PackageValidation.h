#pragma once

#include "core/Records.h"
#include "installer/InstallOperations.h"

#include <filesystem>
#include <stop_token>
#include <string>

namespace CenterInstaller {

// Throws CenterError::install unless this installer may handle the product: not a preview,
// not the plug-in product, and registered with exactly its bundle identifier.
void validateIndependentProduct(const CenterProduct& product);

// Whether a package or folder location names a file on this computer rather than an address
// ("https://…"); the counterpart of a file URL.
[[nodiscard]] bool isLocalPath(const std::filesystem::path& location);

// The release that a local ZIP package holds, after inspecting, unpacking (into a temporary
// "kestryn-inspect-" folder that is removed at the end, or by the next call if the process was
// killed) and validating its application. A stop request ends it with CancellationError.
[[nodiscard]] CenterRelease inspectLocalPackage(const std::filesystem::path& zip,
                                                const CenterProduct& product,
                                                InstallOperations& operations = systemOperations(),
                                                std::stop_token stop = {});

// The release a local ZIP package names in its Info.plist entry, read without unpacking, for a
// caller that installs the package next: the installation unpacks and validates it whole. A
// package that cannot be read so gets inspectLocalPackage, which says what is wrong with it.
[[nodiscard]] CenterRelease packagedRelease(const std::filesystem::path& zip,
                                            const CenterProduct& product,
                                            InstallOperations& operations = systemOperations(),
                                            std::stop_token stop = {});

// Throws unless the application bundle is the product at the release's version and build,
// with a valid executable, system requirements this system meets, and a valid signature.
void validateApp(const std::filesystem::path& app, const CenterProduct& product,
                 const CenterRelease& release, InstallOperations& operations = systemOperations());

// Throws CenterError::install "安装目录不能是符号链接。" when the item is a symbolic link;
// an item whose kind cannot be read throws std::filesystem::filesystem_error.
void rejectSymlink(const std::filesystem::path& item);

// The running system's version: $KESTRYN_SYSTEM_VERSION when set, otherwise 13.0, the oldest
// system the center itself supports.
[[nodiscard]] std::string currentSystemVersion();

} // namespace CenterInstaller
