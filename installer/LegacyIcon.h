#pragma once

#include "installer/ExtendedAttributes.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace CenterInstaller {

// Icon attributes by name ("com.apple.FinderInfo", "com.apple.ResourceFork") with their bytes.
using IconAttributes = std::map<std::string, std::string>;

// The largest icon attribute accepted, in bytes.
inline constexpr std::size_t maximumIconAttributeBytes = 8 * 1024 * 1024;

// The name of a bundle's legacy custom-icon file: "Icon" and a carriage return.
inline constexpr const char* legacyIconFileName = "Icon\r";

// A bundle folder's legacy custom icon: the folder's icon attributes and the "Icon\r" file
// with its own attributes and digest. Equal only when all four parts are equal.
struct LegacyIconState {
    IconAttributes folderAttributes;
    bool hasIconFile = false;
    IconAttributes iconFileAttributes;
    std::optional<std::string> iconFileDigest;

    friend bool operator==(const LegacyIconState&, const LegacyIconState&) = default;
};

// The icon attributes present on an item (a link itself, never its target). Throws
// CenterError::install when one cannot be read, is larger than 8 MiB, or reads short.
[[nodiscard]] IconAttributes readIconAttributes(const std::filesystem::path& item,
                                                ExtendedAttributes& attributes);

// The legacy-icon state of a bundle folder. Throws CenterError::install when the "Icon\r"
// file is a link or not a regular file, and passes reading errors on.
[[nodiscard]] LegacyIconState legacyIconState(const std::filesystem::path& bundle,
                                              ExtendedAttributes& attributes);

// Makes the item's icon attributes equal to `desired`, writing only those that differ.
// Throws CenterError::install when setting or removing one fails.
void replaceIconAttributes(const std::filesystem::path& item, const IconAttributes& desired,
                           ExtendedAttributes& attributes);

} // namespace CenterInstaller
