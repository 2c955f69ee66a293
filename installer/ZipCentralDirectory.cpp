#include "installer/ZipCentralDirectory.h"

#include "core/CenterError.h"
#include "core/FileMapping.h"
#include "installer/ZipKeySet.h"
#include "installer/ZipRecords.h"
#include "installer/ZipRules.h"

#include <algorithm>
#include <memory_resource>
#include <optional>
#include <string_view>
#include <vector>

namespace CenterInstaller {
namespace {

using Bytes = std::span<const unsigned char>;

[[noreturn]] void reject(const char* sentence) {
    throw CenterError::invalid(sentence);
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

// One walk through the central directory, entry by entry, gathering what the entries must
// prove together: no key twice, no file on another entry's path, one top-level application.
class Inspection {
  public:
    Inspection(Bytes bytes, const ZipDirectory& directory)
        : bytes_(bytes), directory_(directory), arena_(directory.size), keys_(&arena_),
          pathKeys_(directory.entryCount), fileKeys_(directory.entryCount) {
        // Reserved up front so the views into the keys stay put.
        keys_.reserve(directory.entryCount);
    }

    // Proves the entry that begins at `p` and returns where the next one begins.
    std::uint64_t entry(std::uint64_t p) {
        const ZipCentralEntry entry = readZipCentralEntry(bytes_, p, directory_.end);
        addName(entry.name);
        addSize(entry);
        place(entry.name);
        (void)zipDataOffset(bytes_, entry, directory_.offset);
        return entry.next;
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
    void addSize(const ZipCentralEntry& entry) {
        checkZipEntryType(entry.unixMode);
        if (entry.needsZIP64()) {
            reject("不支持 ZIP64 或分卷安装包。");
        }
        unpackedBytes_ += entry.uncompressedSize;
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
    const ZipDirectory directory_;
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
    const ZipDirectory directory = readZipDirectory(bytes);
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
