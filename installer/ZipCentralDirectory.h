#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace CenterInstaller {

// The name of the single top-level application folder of a ZIP package (for example
// "Sample.app"), after proving from the headers alone that the package is safe to unpack.
// Throws CenterError::invalid with the reason; file-reading errors pass through.
[[nodiscard]] std::string inspectZIP(const std::filesystem::path& zip);

// What an inspection proves about a package besides its safety.
struct ZipContents {
    // The one top-level application folder, exactly as stored.
    std::string topLevelName;
    // The sum of the declared uncompressed sizes of all entries.
    std::uint64_t unpackedBytes = 0;
    // Every entry name that is not plain ASCII, exactly as stored: views into the inspected
    // bytes, for the unpacker, whose library hands such names over recomposed.
    std::vector<std::string_view> unicodeNames;
};

// The inspection of inspectZIP over a package's bytes already in memory.
[[nodiscard]] ZipContents inspectZIPBytes(std::span<const unsigned char> package);

} // namespace CenterInstaller
