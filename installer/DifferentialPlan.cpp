#include "installer/DifferentialPlan.h"

#include "core/CenterError.h"
#include "installer/ZipRecords.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace CenterInstaller {
namespace {

using Bytes = std::span<const unsigned char>;
using Source = DifferentialPiece::Source;

// Enough for the longest end record and the directory of a package of a few thousand entries.
constexpr std::uint64_t tailReadBytes = 256 * 1024;

const char* const inconsistent = "安装包的文件记录相互矛盾，无法增量更新。";

[[noreturn]] void reject(const char* sentence) {
    throw CenterError::invalid(sentence);
}

// A central record from the version needed through the extra field's length, and its name and
// extra field, less the modification time and date (a new build touches every file). When two
// entries agree on these and their spans are as long, their local headers are, for any packer
// that writes them from the same fields, the same bytes but for the time and date.
struct CentralRecord {
    std::string_view fields;
    std::string_view sums;
    std::string_view nameAndExtra;
    std::uint32_t modified = 0;

    [[nodiscard]] bool sameBut(const CentralRecord& other) const {
        return fields == other.fields && sums == other.sums && nameAndExtra == other.nameAndExtra;
    }
};

std::string_view text(Bytes bytes, std::uint64_t offset, std::uint64_t length) {
    return {reinterpret_cast<const char*>(bytes.data() + offset), length};
}

// The record of the entry at `p`, which readZipCentralEntry has proven to lie inside `bytes`.
CentralRecord centralRecord(Bytes bytes, std::uint64_t p) {
    return {text(bytes, p + 6, 6), text(bytes, p + 16, 16),
            text(bytes, p + zipCentralEntryBytes, zipU16(bytes, p + 28) + zipU16(bytes, p + 30)),
            zipU32(bytes, p + 12)};
}

// What must match for an old entry's data to serve a new entry, and where that data lies.
struct Reusable {
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint64_t dataOffset = 0;
    // For copying the whole span: the record, where the span lies, and whether the local header
    // repeats the record's fields (one written with a data descriptor does not).
    CentralRecord record;
    std::uint64_t localHeaderOffset = 0;
    std::uint64_t spanLength = 0;
    bool headerAgrees = false;

    friend bool operator==(const Reusable& a, const Reusable& b) {
        return a.crc == b.crc && a.compressedSize == b.compressedSize &&
               a.uncompressedSize == b.uncompressedSize && a.method == b.method &&
               a.flags == b.flags;
    }
};

// The name below the single top-level folder, so that a renamed application keeps its files.
std::string_view nameBelowTop(std::string_view name) {
    const std::size_t slash = name.find('/');
    return slash == name.npos ? std::string_view() : name.substr(slash + 1);
}

Reusable describe(const ZipCentralEntry& entry, std::uint64_t dataOffset) {
    if (entry.needsZIP64()) {
        reject("不支持 ZIP64 或分卷安装包。");
    }
    Reusable reusable;
    reusable.crc = entry.crc;
    reusable.compressedSize = entry.compressedSize;
    reusable.uncompressedSize = entry.uncompressedSize;
    reusable.method = entry.method;
    reusable.flags = entry.flags;
    reusable.dataOffset = dataOffset;
    return reusable;
}

// Every entry of the old package with data, by its name below the top-level folder, each proven
// to lie wholly before the directory.
std::unordered_map<std::string_view, Reusable> oldEntries(Bytes old) {
    const ZipDirectory directory = readZipDirectory(old);
    std::vector<std::pair<std::string_view, Reusable>> read;
    read.reserve(directory.entryCount);
    std::uint64_t p = directory.offset;
    for (std::uint16_t index = 0; index < directory.entryCount; ++index) {
        const ZipCentralEntry entry = readZipCentralEntry(old, p, directory.end);
        Reusable reusable = describe(entry, zipDataOffset(old, entry, directory.offset));
        if (reusable.dataOffset + reusable.compressedSize > directory.offset) {
            reject(inconsistent);
        }
        reusable.record = centralRecord(old, p);
        reusable.localHeaderOffset = entry.localHeaderOffset;
        const std::uint64_t local = entry.localHeaderOffset;
        reusable.headerAgrees = text(old, local + 4, 6) == reusable.record.fields &&
                                zipU32(old, local + 10) == reusable.record.modified &&
                                text(old, local + 14, 12) == reusable.record.sums.substr(0, 12);
        read.emplace_back(entry.name, reusable);
        p = entry.next;
    }
    std::sort(read.begin(), read.end(), [](const auto& a, const auto& b) {
        return a.second.localHeaderOffset < b.second.localHeaderOffset;
    });
    std::unordered_map<std::string_view, Reusable> entries;
    for (std::size_t index = 0; index < read.size(); ++index) {
        Reusable& reusable = read[index].second;
        const std::uint64_t next =
            index + 1 < read.size() ? read[index + 1].second.localHeaderOffset : directory.offset;
        reusable.spanLength = next - reusable.localHeaderOffset;
        if (reusable.compressedSize > 0) {
            entries.emplace(nameBelowTop(read[index].first), reusable);
        }
    }
    return entries;
}

// One entry of the new package, as far as its directory tells.
struct NewEntry {
    std::uint64_t localHeaderOffset = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t nameLength = 0;
    CentralRecord record;
    const Reusable* old = nullptr;
};

ZipDirectory newDirectory(std::uint64_t packageBytes, std::uint64_t tailOffset, Bytes tail) {
    if (tailOffset > packageBytes || tail.size() != packageBytes - tailOffset) {
        reject(inconsistent);
    }
    return readZipDirectory(tail, tailOffset);
}

// The new entries in the order of their local headers, matched with the old entries.
std::vector<NewEntry> newEntries(const ZipDirectory& directory, std::uint64_t tailOffset,
                                 Bytes tail,
                                 const std::unordered_map<std::string_view, Reusable>& old) {
    if (directory.offset < tailOffset) {
        reject(inconsistent);
    }
    std::vector<NewEntry> entries;
    entries.reserve(directory.entryCount);
    std::uint64_t p = directory.offset - tailOffset;
    for (std::uint16_t index = 0; index < directory.entryCount; ++index) {
        const ZipCentralEntry entry = readZipCentralEntry(tail, p, directory.end - tailOffset);
        const Reusable described = describe(entry, 0);
        const auto found = old.find(nameBelowTop(entry.name));
        entries.push_back(
            {entry.localHeaderOffset, entry.compressedSize, entry.name.size(),
             centralRecord(tail, p),
             found != old.end() && found->second == described ? &found->second : nullptr});
        p = entry.next;
    }
    if (p != directory.end - tailOffset) {
        reject(inconsistent);
    }
    std::sort(entries.begin(), entries.end(), [](const NewEntry& a, const NewEntry& b) {
        return a.localHeaderOffset < b.localHeaderOffset;
    });
    return entries;
}

// The pieces as the entries lay them out, before the tail and the merging. A reused entry whose
// span the old package holds is copied whole; otherwise its local header and what follows its
// data (a data descriptor) are fetched: the header's true length is not in the directory, but
// it starts at the entry and is at least its fixed part and name, so the span minus the data
// bounds both ends.
std::vector<DifferentialPiece> layout(const std::vector<NewEntry>& entries,
                                      const ZipDirectory& directory) {
    std::vector<DifferentialPiece> pieces;
    auto fetch = [&pieces](std::uint64_t offset, std::uint64_t length) {
        if (length > 0) {
            pieces.push_back({.offset = offset, .length = length});
        }
    };
    fetch(0, entries.front().localHeaderOffset);
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const NewEntry& entry = entries[index];
        const std::uint64_t next =
            index + 1 < entries.size() ? entries[index + 1].localHeaderOffset : directory.offset;
        const std::uint64_t least = zipLocalHeaderBytes + entry.nameLength;
        if (next < entry.localHeaderOffset + least + entry.compressedSize) {
            reject(inconsistent);
        }
        const std::uint64_t span = next - entry.localHeaderOffset;
        const std::uint64_t header = span - entry.compressedSize;
        const std::uint64_t after = header - least;
        if (entry.old != nullptr && entry.old->headerAgrees &&
            entry.old->record.sameBut(entry.record) && entry.old->spanLength == span) {
            pieces.push_back({.source = Source::copied,
                              .offset = entry.localHeaderOffset,
                              .length = span,
                              .oldDataOffset = entry.old->localHeaderOffset,
                              .modified = entry.record.modified});
            continue;
        }
        if (entry.old == nullptr || after >= entry.compressedSize) {
            fetch(entry.localHeaderOffset, span);
            continue;
        }
        fetch(entry.localHeaderOffset, header);
        pieces.push_back({.source = Source::old,
                          .offset = entry.localHeaderOffset + header,
                          .length = entry.compressedSize - after,
                          .localHeaderOffset = entry.localHeaderOffset,
                          .oldDataOffset = entry.old->dataOffset,
                          .oldDataLength = entry.compressedSize});
        fetch(next - after, after);
    }
    return pieces;
}

bool isReuse(Source source) {
    return source == Source::old || source == Source::copied;
}

// The pieces with everything from `tailOffset` on taken from the tail, and ranges to fetch
// closer than differentialMergeBytes fetched as one.
std::vector<DifferentialPiece> merged(const std::vector<DifferentialPiece>& pieces,
                                      std::uint64_t tailOffset, std::uint64_t packageBytes) {
    std::vector<DifferentialPiece> out;
    auto add = [&out](DifferentialPiece piece) {
        const std::size_t count = out.size();
        if (piece.source == Source::fetched && count >= 2 && isReuse(out[count - 1].source) &&
            out[count - 1].length < differentialMergeBytes &&
            out[count - 2].source == Source::fetched) {
            out.pop_back();
        }
        if (piece.source == Source::fetched && !out.empty() &&
            out.back().source == Source::fetched) {
            out.back().length = piece.offset + piece.length - out.back().offset;
        } else {
            out.push_back(piece);
        }
    };
    for (DifferentialPiece piece : pieces) {
        if (piece.offset >= tailOffset) {
            break;
        }
        piece.length = std::min(piece.length, tailOffset - piece.offset);
        add(piece);
    }
    if (tailOffset < packageBytes) {
        out.push_back(
            {.source = Source::tail, .offset = tailOffset, .length = packageBytes - tailOffset});
    }
    return out;
}

} // namespace

std::vector<ByteRange> DifferentialPlan::fetches() const {
    std::vector<ByteRange> ranges;
    for (const DifferentialPiece& piece : pieces) {
        if (piece.source == Source::fetched) {
            ranges.push_back({piece.offset, piece.length});
        }
    }
    return ranges;
}

ByteRange differentialTailRead(std::uint64_t packageBytes) {
    const std::uint64_t length = std::min(packageBytes, tailReadBytes);
    return {packageBytes - length, length};
}

ByteRange differentialMissingTail(std::uint64_t packageBytes, std::uint64_t tailOffset,
                                  Bytes tail) {
    const ZipDirectory directory = newDirectory(packageBytes, tailOffset, tail);
    return directory.offset < tailOffset
               ? ByteRange{directory.offset, tailOffset - directory.offset}
               : ByteRange{};
}

DifferentialPlan planDifferentialUpdate(Bytes oldPackage, std::uint64_t packageBytes,
                                        std::uint64_t tailOffset, Bytes tail) {
    const std::unordered_map<std::string_view, Reusable> old = oldEntries(oldPackage);
    const ZipDirectory directory = newDirectory(packageBytes, tailOffset, tail);
    const std::vector<NewEntry> entries = newEntries(directory, tailOffset, tail, old);
    DifferentialPlan plan{.packageBytes = packageBytes,
                          .pieces = merged(layout(entries, directory), tailOffset, packageBytes),
                          .tailOffset = tailOffset,
                          .tail = {tail.begin(), tail.end()}};
    std::uint64_t covered = 0;
    for (const DifferentialPiece& piece : plan.pieces) {
        if (piece.offset != covered) {
            reject(inconsistent);
        }
        covered += piece.length;
        if (piece.source == Source::fetched) {
            plan.fetchedBytes += piece.length;
        } else if (isReuse(piece.source)) {
            plan.reusedBytes += piece.length;
        }
    }
    if (covered != packageBytes) {
        reject(inconsistent);
    }
    return plan;
}

} // namespace CenterInstaller
