#include "installer/ZipRecords.h"

#include "core/CenterError.h"

namespace CenterInstaller {
namespace {

constexpr std::uint32_t endSignature = 0x06054B50;
constexpr std::uint32_t centralSignature = 0x02014B50;
constexpr std::uint32_t spanningSignature = 0x08074B50;
constexpr std::uint32_t zip64Marker = 0xFFFFFFFF;
constexpr std::uint16_t zip64EntryCount = 0xFFFF;
constexpr std::uint16_t encryptedFlag = 0x0001;

using Bytes = std::span<const unsigned char>;

std::string_view text(Bytes bytes, std::uint64_t offset, std::uint64_t length) {
    return {reinterpret_cast<const char*>(bytes.data() + offset), length};
}

[[noreturn]] void reject(const char* sentence) {
    throw CenterError::invalid(sentence);
}

const char* const notSupported = "不支持分卷、空包或 ZIP64 安装包。";

// Whether the package opens as every ZIP does: a local header, an end record or a spanning mark.
bool opensLikeZIP(Bytes bytes) {
    if (bytes.size() < 4) {
        return false;
    }
    const std::uint32_t signature = zipU32(bytes, 0);
    return signature == zipLocalSignature || signature == endSignature ||
           signature == spanningSignature;
}

// The offset in `bytes` of the end record whose comment reaches exactly to their end. A whole
// file without one that does not even open like a ZIP is some other kind of file.
std::uint64_t findEndRecord(Bytes bytes, bool whole) {
    const std::uint64_t length = bytes.size();
    const std::uint64_t lowest = length > zipEndSearchBytes ? length - zipEndSearchBytes : 0;
    for (std::uint64_t e = length - zipEndRecordBytes;; --e) {
        if (zipU32(bytes, e) == endSignature &&
            e + zipEndRecordBytes + zipU16(bytes, e + 20) == length) {
            return e;
        }
        if (e == lowest) {
            reject(!whole || opensLikeZIP(bytes) ? notSupported : "该文件不是 ZIP 安装包。");
        }
    }
}

} // namespace

std::uint16_t zipU16(Bytes bytes, std::uint64_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::uint32_t zipU32(Bytes bytes, std::uint64_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

ZipDirectory readZipDirectory(Bytes bytes, std::uint64_t start) {
    if (bytes.size() < zipEndRecordBytes) {
        reject("ZIP 安装包不完整。");
    }
    const std::uint64_t e = findEndRecord(bytes, start == 0);
    const std::uint16_t entryCount = zipU16(bytes, e + 10);
    if (zipU16(bytes, e + 4) != 0 || zipU16(bytes, e + 6) != 0 ||
        zipU16(bytes, e + 8) != entryCount || entryCount == 0 || entryCount == zip64EntryCount) {
        reject(notSupported);
    }
    const std::uint64_t directorySize = zipU32(bytes, e + 12);
    const std::uint64_t directoryOffset = zipU32(bytes, e + 16);
    if (directorySize == 0 || directorySize + directoryOffset != start + e) {
        reject("ZIP 目录不完整。");
    }
    return {start + e, directoryOffset, directorySize, entryCount};
}

bool ZipCentralEntry::needsZIP64() const {
    return uncompressedSize == zip64Marker || compressedSize == zip64Marker ||
           localHeaderOffset == zip64Marker || diskStart != 0;
}

ZipCentralEntry readZipCentralEntry(Bytes bytes, std::uint64_t p, std::uint64_t end) {
    if (p + zipCentralEntryBytes > end || zipU32(bytes, p) != centralSignature) {
        reject("ZIP 目录无效。");
    }
    const std::uint16_t nameLength = zipU16(bytes, p + 28);
    const std::uint64_t next =
        p + zipCentralEntryBytes + nameLength + zipU16(bytes, p + 30) + zipU16(bytes, p + 32);
    const std::uint16_t flags = zipU16(bytes, p + 8);
    if (next > end || nameLength == 0 || (flags & encryptedFlag) != 0) {
        reject("ZIP 包含无效路径或加密内容。");
    }
    return {.name = text(bytes, p + zipCentralEntryBytes, nameLength),
            .flags = flags,
            .method = zipU16(bytes, p + 10),
            .crc = zipU32(bytes, p + 16),
            .compressedSize = zipU32(bytes, p + 20),
            .uncompressedSize = zipU32(bytes, p + 24),
            .diskStart = zipU16(bytes, p + 34),
            .unixMode = zipU32(bytes, p + 38) >> 16,
            .localHeaderOffset = zipU32(bytes, p + 42),
            .next = next};
}

std::uint64_t zipDataOffset(Bytes bytes, const ZipCentralEntry& entry,
                            std::uint64_t directoryOffset) {
    const std::uint64_t local = entry.localHeaderOffset;
    const std::uint64_t nameLength = entry.name.size();
    if (local + zipLocalHeaderBytes > directoryOffset ||
        zipU32(bytes, local) != zipLocalSignature || zipU16(bytes, local + 6) != entry.flags ||
        zipU16(bytes, local + 8) != entry.method || zipU16(bytes, local + 26) != nameLength ||
        local + zipLocalHeaderBytes + nameLength + zipU16(bytes, local + 28) > directoryOffset ||
        text(bytes, local + zipLocalHeaderBytes, nameLength) != entry.name) {
        reject("ZIP 的文件记录存在冲突。");
    }
    return local + zipLocalHeaderBytes + nameLength + zipU16(bytes, local + 28);
}

} // namespace CenterInstaller
