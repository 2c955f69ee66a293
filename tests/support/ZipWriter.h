#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

// The CRC-32 of some bytes, as ZIP headers and extra fields record it.
[[nodiscard]] std::uint32_t zipCRC32(std::string_view data);

// One entry of a test ZIP. Fields a hostile case needs beyond these are patched into the bytes.
struct ZipEntry {
    // The name in both headers.
    std::string name{};
    // The uncompressed content; stored as-is (method 0) or raw-deflated (method 8). Any other
    // method stores the content unchanged under that method number.
    std::string data{};
    std::uint16_t method = 0;
    // The Unix mode with its file-type bits (for example 0100755).
    std::uint32_t mode = 0100644;
    std::string extra{};
    std::string localExtra{};
    std::string comment{};
    // Replaces the true uncompressed size in both headers.
    std::optional<std::uint32_t> uncompressedSize{};
    // Write CRC and sizes in a data descriptor after the data, as streaming packers do, and
    // zeros in the local header.
    bool descriptor = false;
};

// A well-formed ZIP archive built in memory, entry by entry, for tests.
class ZipWriter {
  public:
    // Adds a regular file, stored; returns it for further changes.
    ZipEntry& file(std::string name, std::string data, std::uint32_t permissions = 0644);
    // Adds a folder entry; the name should end in "/".
    ZipEntry& folder(std::string name, std::uint32_t permissions = 0755);

    // The archive's bytes.
    [[nodiscard]] std::string bytes() const;

    // The entries in archive order; a deque, so references handed out stay valid.
    std::deque<ZipEntry> entries;
    // Bytes before the first local header, counted in the offsets as a self-extractor's stub is.
    std::string prefix{};
    // The archive comment, written after the end record.
    std::string comment{};
};

// `bytes` with one little-endian field of `width` bytes overwritten, `offset` bytes into the last
// record that starts with `signature`: a hostile case made of a well-formed archive.
[[nodiscard]] std::string patchedField(std::string bytes, std::string_view signature,
                                       std::size_t offset, std::uint64_t value, std::size_t width);

// A small well-formed application package: the folders of Sample.app, its Info.plist and, as the
// last entry, its executable Contents/MacOS/Sample.
[[nodiscard]] ZipWriter sampleApplicationZip();
