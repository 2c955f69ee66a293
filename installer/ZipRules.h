#pragma once

#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>

// The entry rules that both the inspection and the unpacking enforce, so that a package is held
// to the same standard whichever of the two looks at it.
namespace CenterInstaller {

// The largest total of declared uncompressed sizes a package may have (20 GiB); equal is allowed.
inline constexpr std::uint64_t maximumUnpackedBytes = 0x500000000;

// The name of the folder macOS archivers add for resource forks; it never counts as an app.
inline constexpr std::string_view resourceForkFolder = "__MACOSX";

// Throws CenterError::invalid unless an entry name is non-empty strict UTF-8 without "\\", NUL,
// ":" or a leading "/", and has no ".", ".." or empty inner piece.
void checkZipEntryName(std::string_view name);

// Throws CenterError::invalid unless the file-type bits of a Unix mode say regular file, folder
// or nothing recorded.
void checkZipEntryType(std::uint32_t unixMode);

// The key under which two entry names count as the same path: leading and trailing "/" trimmed,
// NFC, lower-cased; allocated from `memory`.
[[nodiscard]] std::pmr::string
zipEntryKey(std::string_view name,
            std::pmr::memory_resource* memory = std::pmr::get_default_resource());

// The first piece of an entry name, up to its first "/".
[[nodiscard]] std::string_view zipTopLevelName(std::string_view name);

} // namespace CenterInstaller
