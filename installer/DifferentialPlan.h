#pragma once

#include <cstdint>
#include <span>
#include <vector>

// A differential update: the new package rebuilt byte for byte from the entries the old package
// of the same product already holds and the few ranges of the new one fetched from the server.
// The rebuilt file proves nothing by itself; the caller proves it by size and SHA-256 as it
// proves a downloaded one.
namespace CenterInstaller {

// Bytes [offset, offset + length) of a package.
struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;

    friend bool operator==(const ByteRange&, const ByteRange&) = default;
};

// The first read of a new package of `packageBytes` bytes: its end, long enough for an end
// record with the longest comment and the directory of a package of a few thousand entries.
[[nodiscard]] ByteRange differentialTailRead(std::uint64_t packageBytes);

// The bytes still missing before `tail`, the package's last bytes from `tailOffset` on, when
// the central directory its end record declares begins before them; empty (length 0) when the
// tail holds the whole directory. Throws CenterError::invalid when the tail does not parse.
[[nodiscard]] ByteRange differentialMissingTail(std::uint64_t packageBytes,
                                                std::uint64_t tailOffset,
                                                std::span<const unsigned char> tail);

// One piece of the new package, in the order the rebuild writes them.
struct DifferentialPiece {
    enum class Source {
        // Fetched from the server: the new package's bytes at [offset, offset + length).
        fetched,
        // Taken from the tail the planner read.
        tail,
        // Copied from an entry's data in the old package.
        old,
        // Copied from the old package's bytes at [oldDataOffset, + length): an entry whose
        // header, data and descriptor the old package holds byte for byte but for the header's
        // modification time and date.
        copied,
    };

    Source source = Source::fetched;
    // Where the piece lies in the new package.
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    // For `old`: the new entry's local header, whose true length the rebuild reads from the
    // fetched bytes (the central directory does not record it), and the old entry's data. The
    // piece copies the old data from offset + oldDataOffset - (the new data's offset).
    std::uint64_t localHeaderOffset = 0;
    std::uint64_t oldDataOffset = 0;
    std::uint64_t oldDataLength = 0;
    // For `copied`: the modification time and date (DOS format) the new local header carries in
    // place of the old one's.
    std::uint32_t modified = 0;

    friend bool operator==(const DifferentialPiece&, const DifferentialPiece&) = default;
};

// How the new package is written front to back. The pieces cover it exactly, without overlap.
struct DifferentialPlan {
    std::uint64_t packageBytes = 0;
    std::vector<DifferentialPiece> pieces;
    // The package's last bytes, read while planning, from `tailOffset` on.
    std::uint64_t tailOffset = 0;
    std::vector<unsigned char> tail;
    // Bytes the fetched pieces take in all, and bytes copied from the old package; with nothing
    // reused the full download is the better route.
    std::uint64_t fetchedBytes = 0;
    std::uint64_t reusedBytes = 0;

    // The ranges of the new package to fetch, in order: the fetched pieces.
    [[nodiscard]] std::vector<ByteRange> fetches() const;
};

// Ranges to fetch closer than this are fetched as one: a smaller reuse saves less than a
// request costs.
inline constexpr std::uint64_t differentialMergeBytes = 64 * 1024;

// The plan for a new package of `packageBytes` bytes whose last bytes from `tailOffset` on are
// `tail` (holding its whole central directory), given the whole `oldPackage`. An entry is
// reused when an old entry has the same name below the top-level folder, CRC-32, sizes, method
// and flags. Its whole span, local header included, is copied without asking the server when
// the two central records agree in every field from the version needed on but the modification
// time, name and extra field included, the spans are as long, and the old local header agrees with
// its own record; a wrong guess is caught by the caller's SHA-256 like any other. Throws
// CenterError::invalid for a tail or an old package that does not parse or whose records are
// inconsistent (overlapping entries, offsets beyond the package, encryption, ZIP64).
[[nodiscard]] DifferentialPlan planDifferentialUpdate(std::span<const unsigned char> oldPackage,
                                                      std::uint64_t packageBytes,
                                                      std::uint64_t tailOffset,
                                                      std::span<const unsigned char> tail);

} // namespace CenterInstaller
