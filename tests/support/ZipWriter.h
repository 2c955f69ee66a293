#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The CRC-32 of some bytes, as ZIP headers and extra fields record it.
[[nodiscard]] std::uint32_t zipCRC32(std::string_view data);

// One entry of a test ZIP. Every header field can be set on its own, and the local header can be
// made to disagree with the central directory, to build each hostile case an inspector must
// refuse. Unset optional fields take the value a correct writer would write.
struct ZipEntry {
    // The name in the central directory, and in the local header unless localName is set.
    std::string name{};
    // The uncompressed content; stored as-is (method 0) or raw-deflated (method 8). Any other
    // method stores the content unchanged under that method number.
    std::string data{};
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    // Unix host, format version 3.0.
    std::uint16_t versionMadeBy = 0x031E;
    std::uint32_t externalAttributes = 0;
    std::uint16_t diskNumberStart = 0;
    std::string extra{};
    std::string comment{};

    // Values that replace the computed ones in both headers.
    std::optional<std::uint32_t> compressedSize{};
    std::optional<std::uint32_t> uncompressedSize{};
    std::optional<std::uint32_t> crc32{};
    // The central entry's pointer to its local header.
    std::optional<std::uint32_t> localHeaderOffset{};

    // Local-header values that differ from the central entry's.
    std::optional<std::string> localName{};
    std::optional<std::uint16_t> localFlags{};
    std::optional<std::uint16_t> localMethod{};
    std::string localExtra{};

    // Sets the external attributes to a Unix mode with its file-type bits (for example 0100755).
    ZipEntry& unixMode(std::uint32_t mode);
};

// End-of-central-directory values that replace the computed ones.
struct ZipEndRecord {
    std::optional<std::uint16_t> thisDisk{};
    std::optional<std::uint16_t> directoryDisk{};
    std::optional<std::uint16_t> entriesOnThisDisk{};
    std::optional<std::uint16_t> totalEntries{};
    std::optional<std::uint32_t> directorySize{};
    std::optional<std::uint32_t> directoryOffset{};
    std::optional<std::uint16_t> commentLength{};
};

// A ZIP archive built in memory, entry by entry, for tests: well-formed by default, hostile on
// request.
class ZipWriter {
  public:
    // Adds a regular file (mode 0100000 | permissions), stored; returns it for further changes.
    ZipEntry& file(std::string name, std::string data, std::uint32_t permissions = 0644);
    // Adds a folder entry; the name should end in "/".
    ZipEntry& folder(std::string name, std::uint32_t permissions = 0755);
    // Adds any entry as given.
    ZipEntry& add(ZipEntry entry);

    // The archive of a folder tree under the folder's own name, folders before their content,
    // in sorted order, with modes kept and content deflated.
    static ZipWriter ofTree(const std::filesystem::path& folder);

    // The archive's bytes.
    [[nodiscard]] std::string bytes() const;
    // Writes the archive to a file and returns its path.
    std::filesystem::path write(const std::filesystem::path& file) const;

    // The entries in archive order; a deque, so references handed out stay valid.
    std::deque<ZipEntry> entries;
    // Bytes before the first local header; offsets count them unless offsetsIgnorePrefix.
    std::string prefix{};
    bool offsetsIgnorePrefix = false;
    // The archive comment, written after the end record.
    std::string comment{};
    // Bytes after the comment.
    std::string trailing{};
    // Overrides of the end record's fields.
    ZipEndRecord end;
};
