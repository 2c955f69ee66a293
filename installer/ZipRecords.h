#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The reader of ZIP records that the inspection and the differential planner share, so that a
// package's directory is read by one piece of code whichever of them looks at it.
namespace CenterInstaller {

inline constexpr std::uint64_t zipEndRecordBytes = 22;
inline constexpr std::uint64_t zipCentralEntryBytes = 46;
inline constexpr std::uint64_t zipLocalHeaderBytes = 30;
inline constexpr std::uint32_t zipLocalSignature = 0x04034B50;
// The most bytes an end record and its comment take at the end of a package.
inline constexpr std::uint64_t zipEndSearchBytes = 65535 + zipEndRecordBytes;

// A little-endian field; the caller has checked that it lies inside the bytes.
[[nodiscard]] std::uint16_t zipU16(std::span<const unsigned char> bytes, std::uint64_t offset);
[[nodiscard]] std::uint32_t zipU32(std::span<const unsigned char> bytes, std::uint64_t offset);

// Where the central directory lies, as the end record declares it, in offsets of the package.
struct ZipDirectory {
    // The end record's offset, where the directory must end.
    std::uint64_t end = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint16_t entryCount = 0;
};

// The end record's account of the directory: one disk, a count that agrees with itself, and a
// directory that ends exactly where the record begins. `bytes` are the package's last bytes,
// from offset `start` to its end; the directory itself may lie before them. Throws
// CenterError::invalid with the inspection's sentence.
[[nodiscard]] ZipDirectory readZipDirectory(std::span<const unsigned char> bytes,
                                            std::uint64_t start = 0);

// What the central directory records of one entry.
struct ZipCentralEntry {
    // A view into the directory's bytes.
    std::string_view name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t diskStart = 0;
    std::uint32_t unixMode = 0;
    std::uint32_t localHeaderOffset = 0;
    // Where the next entry begins, in offsets of `bytes`.
    std::uint64_t next = 0;

    // Whether a size or an offset carries the ZIP64 marker, or the entry starts on another disk.
    [[nodiscard]] bool needsZIP64() const;
};

// The entry that begins at `p` of `bytes`, which holds the directory up to `end`: inside the
// directory, with a name, not encrypted. Throws CenterError::invalid otherwise.
[[nodiscard]] ZipCentralEntry readZipCentralEntry(std::span<const unsigned char> bytes,
                                                  std::uint64_t p, std::uint64_t end);

// Where the entry's data begins in the whole package `bytes`, once its local header is proven to
// repeat the central entry's flags, method and name and to lie wholly before the directory at
// `directoryOffset`. Throws CenterError::invalid otherwise.
[[nodiscard]] std::uint64_t zipDataOffset(std::span<const unsigned char> bytes,
                                          const ZipCentralEntry& entry,
                                          std::uint64_t directoryOffset);

} // namespace CenterInstaller
