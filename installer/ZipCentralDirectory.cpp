#include "installer/ZipCentralDirectory.h"

#include "core/CenterError.h"
#include "core/FileMapping.h"
#include "installer/ZipKeySet.h"
#include "installer/ZipRules.h"

#include <algorithm>
#include <memory_resource>
#include <optional>
#include <string_view>
#include <vector>

namespace CenterInstaller {
namespace {

constexpr std::uint64_t endRecordBytes = 22;
constexpr std::uint64_t endSearchWindow = 65535 + endRecordBytes;
constexpr std::uint64_t centralEntryBytes = 46;
constexpr std::uint64_t localHeaderBytes = 30;
constexpr std::uint32_t endSignature = 0x06054B50;
constexpr std::uint32_t centralSignature = 0x02014B50;
constexpr std::uint32_t localSignature = 0x04034B50;
constexpr std::uint32_t spanningSignature = 0x08074B50;
constexpr std::uint32_t zip64Marker = 0xFFFFFFFF;
constexpr std::uint16_t zip64EntryCount = 0xFFFF;
constexpr std::uint16_t encryptedFlag = 0x0001;

using Bytes = std::span<const unsigned char>;

// Every caller has checked that the field lies inside the buffer.
std::uint16_t u16(Bytes bytes, std::uint64_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::uint32_t u32(Bytes bytes, std::uint64_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

std::string_view text(Bytes bytes, std::uint64_t offset, std::uint64_t length) {
    return {reinterpret_cast<const char*>(bytes.data() + offset), length};
}

[[noreturn]] void reject(const char* sentence) {
    throw CenterError::invalid(sentence);
}

const char* const notSupported = "不支持分卷、空包或 ZIP64 安装包。";
const char* const notZIP = "该文件不是 ZIP 安装包。";
const char* const invalidPath = "ZIP 包含无效路径或加密内容。";
const char* const conflictingRecords = "ZIP 的文件记录存在冲突。";

// Whether the package opens as every ZIP does: a local header, an end record or a spanning mark.
bool opensLikeZIP(Bytes bytes) {
    if (bytes.size() < 4) {
        return false;
    }
    const std::uint32_t signature = u32(bytes, 0);
    return signature == localSignature || signature == endSignature ||
           signature == spanningSignature;
}

// The offset of the end record whose comment reaches exactly to the end of the package. A file
// without one that does not even open like a ZIP is some other kind of file.
std::uint64_t findEndRecord(Bytes bytes) {
    const std::uint64_t length = bytes.size();
    const std::uint64_t lowest = length > endSearchWindow ? length - endSearchWindow : 0;
    for (std::uint64_t e = length - endRecordBytes;; --e) {
        if (u32(bytes, e) == endSignature && e + endRecordBytes + u16(bytes, e + 20) == length) {
            return e;
        }
        if (e == lowest) {
            reject(opensLikeZIP(bytes) ? notSupported : notZIP);
        }
    }
}

// The local header must repeat the central entry's flags, method and name, and lie wholly
// before the central directory.
void checkLocalHeader(Bytes bytes, std::uint64_t entry, std::uint64_t directoryOffset) {
    const std::uint64_t local = u32(bytes, entry + 42);
    const std::uint16_t nameLength = u16(bytes, entry + 28);
    if (local + localHeaderBytes > directoryOffset || u32(bytes, local) != localSignature ||
        u16(bytes, local + 6) != u16(bytes, entry + 8) ||
        u16(bytes, local + 8) != u16(bytes, entry + 10) || u16(bytes, local + 26) != nameLength ||
        local + localHeaderBytes + nameLength + u16(bytes, local + 28) > directoryOffset ||
        text(bytes, local + localHeaderBytes, nameLength) !=
            text(bytes, entry + centralEntryBytes, nameLength)) {
        reject(conflictingRecords);
    }
}

// No key may pass through a stored file: x.app/a as a file and x.app/a/b together. Entries of
// one folder usually follow each other, so a folder whose prefixes were all found clean is not
// looked up again.
void checkFileFolderConflicts(std::span<const std::pmr::string> keys, const ZipKeySet& fileKeys) {
    std::string_view cleanFolder;
    for (const std::string_view key : keys) {
        const std::size_t last = key.rfind('/');
        if (last == key.npos || key.substr(0, last) == cleanFolder) {
            continue;
        }
        for (std::size_t slash = key.find('/'); slash != key.npos;
             slash = key.find('/', slash + 1)) {
            if (fileKeys.contains(key.substr(0, slash))) {
                reject("ZIP 文件与文件夹路径冲突。");
            }
        }
        cleanFolder = key.substr(0, last);
    }
}

// Where the central directory lies, as the end record declares it.
struct Directory {
    // The end record's offset, where the directory must end.
    std::uint64_t end = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint16_t entryCount = 0;
};

// The end record's account of the directory: one disk, a count that agrees with itself, and a
// directory that ends exactly where the record begins.
Directory readDirectory(Bytes bytes) {
    if (bytes.size() < endRecordBytes) {
        reject("ZIP 安装包不完整。");
    }
    const std::uint64_t e = findEndRecord(bytes);
    const std::uint16_t entryCount = u16(bytes, e + 10);
    if (u16(bytes, e + 4) != 0 || u16(bytes, e + 6) != 0 || u16(bytes, e + 8) != entryCount ||
        entryCount == 0 || entryCount == zip64EntryCount) {
        reject(notSupported);
    }
    const std::uint64_t directorySize = u32(bytes, e + 12);
    const std::uint64_t directoryOffset = u32(bytes, e + 16);
    if (directorySize == 0 || directorySize + directoryOffset != e) {
        reject("ZIP 目录不完整。");
    }
    return {e, directoryOffset, directorySize, entryCount};
}

// One walk through the central directory, entry by entry, gathering what the entries must
// prove together: no key twice, no file on another entry's path, one top-level application.
class Inspection {
  public:
    Inspection(Bytes bytes, const Directory& directory)
        : bytes_(bytes), directory_(directory), arena_(directory.size), keys_(&arena_),
          pathKeys_(directory.entryCount), fileKeys_(directory.entryCount) {
        // Reserved up front so the views into the keys stay put.
        keys_.reserve(directory.entryCount);
    }

    // Proves the entry that begins at `p` and returns where the next one begins.
    std::uint64_t entry(std::uint64_t p) {
        const std::uint64_t next = header(p);
        const std::string_view name = text(bytes_, p + centralEntryBytes, u16(bytes_, p + 28));
        addName(name);
        addSize(p);
        place(name);
        checkLocalHeader(bytes_, p, directory_.offset);
        return next;
    }

    // What the whole directory proves, once the walk has ended at `p`.
    ZipContents contents(std::uint64_t p) {
        if (p != directory_.end || !topLevelName_ || severalTopLevelNames_ ||
            !topLevelName_->ends_with(".app")) {
            reject("安装包必须只包含一个独立的 .app 软件。");
        }
        checkFileFolderConflicts(keys_, fileKeys_);
        return {std::string(*topLevelName_), unpackedBytes_, std::move(unicodeNames_)};
    }

  private:
    // The entry's fixed header: inside the directory, with a name, not encrypted.
    [[nodiscard]] std::uint64_t header(std::uint64_t p) const {
        if (p + centralEntryBytes > directory_.end || u32(bytes_, p) != centralSignature) {
            reject("ZIP 目录无效。");
        }
        const std::uint16_t nameLength = u16(bytes_, p + 28);
        const std::uint64_t next =
            p + centralEntryBytes + nameLength + u16(bytes_, p + 30) + u16(bytes_, p + 32);
        if (next > directory_.end || nameLength == 0 || (u16(bytes_, p + 8) & encryptedFlag) != 0) {
            reject(invalidPath);
        }
        return next;
    }

    void addName(std::string_view name) {
        checkZipEntryName(name);
        if (std::any_of(name.begin(), name.end(), [](char c) { return (c & 0x80) != 0; })) {
            unicodeNames_.push_back(name);
        }
        keys_.push_back(zipEntryKey(name, &arena_));
        if (!pathKeys_.insert(keys_.back())) {
            reject("ZIP 包含重复或冲突路径。");
        }
    }

    // The entry's type and sizes: a kind the installer unpacks, classic ZIP fields only, and a
    // running total below the ceiling.
    void addSize(std::uint64_t p) {
        checkZipEntryType(u32(bytes_, p + 38) >> 16);
        const std::uint32_t uncompressedSize = u32(bytes_, p + 24);
        if (uncompressedSize == zip64Marker || u32(bytes_, p + 20) == zip64Marker ||
            u32(bytes_, p + 42) == zip64Marker || u16(bytes_, p + 34) != 0) {
            reject("不支持 ZIP64 或分卷安装包。");
        }
        unpackedBytes_ += uncompressedSize;
        if (unpackedBytes_ > maximumUnpackedBytes) {
            reject("安装包解压后体积过大。");
        }
    }

    // Records a file's key for the conflict check and the folder the entry lies in.
    void place(std::string_view name) {
        if (name.back() != '/') {
            fileKeys_.insert(keys_.back());
        }
        if (const std::string_view top = zipTopLevelName(name); top != resourceForkFolder) {
            severalTopLevelNames_ =
                severalTopLevelNames_ || (topLevelName_ && *topLevelName_ != top);
            topLevelName_ = top;
        }
    }

    const Bytes bytes_;
    const Directory directory_;
    // Holds every key and is released at once.
    std::pmr::monotonic_buffer_resource arena_;
    std::pmr::vector<std::pmr::string> keys_;
    ZipKeySet pathKeys_;
    ZipKeySet fileKeys_;
    std::optional<std::string_view> topLevelName_;
    bool severalTopLevelNames_ = false;
    std::uint64_t unpackedBytes_ = 0;
    std::vector<std::string_view> unicodeNames_;
};

} // namespace

ZipContents inspectZIPBytes(Bytes bytes) {
    const Directory directory = readDirectory(bytes);
    Inspection inspection(bytes, directory);
    std::uint64_t p = directory.offset;
    for (std::uint16_t index = 0; index < directory.entryCount; ++index) {
        p = inspection.entry(p);
    }
    return inspection.contents(p);
}

std::string inspectZIP(const std::filesystem::path& zip) {
    const CenterCore::FileMapping mapping(zip);
    return inspectZIPBytes(mapping.bytes()).topLevelName;
}

} // namespace CenterInstaller
