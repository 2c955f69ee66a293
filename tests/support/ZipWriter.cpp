#include "tests/support/ZipWriter.h"

#include <algorithm>
#include <stdexcept>
#include <sys/stat.h>
#include <zlib.h>

namespace {

void put16(std::string& out, std::size_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8 & 0xFF));
}

void put32(std::string& out, std::size_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16 & 0xFFFF);
}

// Deflate without zlib's two-byte header and four-byte checksum trailer, as ZIP stores it.
std::string rawDeflate(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  Z_BEST_SPEED) != Z_OK) {
        throw std::runtime_error("compress2");
    }
    return out.substr(2, size - 6);
}

} // namespace

std::uint32_t zipCRC32(std::string_view data) {
    return static_cast<std::uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

ZipEntry& ZipWriter::file(std::string name, std::string data, std::uint32_t permissions) {
    return entries.emplace_back(
        ZipEntry{.name = std::move(name), .data = std::move(data), .mode = S_IFREG | permissions});
}

ZipEntry& ZipWriter::folder(std::string name, std::uint32_t permissions) {
    return entries.emplace_back(ZipEntry{.name = std::move(name), .mode = S_IFDIR | permissions});
}

std::string ZipWriter::bytes() const {
    std::string out = prefix;
    std::string directory;
    for (const ZipEntry& entry : entries) {
        const std::string body = entry.method == 8 ? rawDeflate(entry.data) : entry.data;
        const std::size_t offset = out.size();
        // Version needed, flags, method, DOS time and date, then CRC and both sizes, then the
        // name's length: shared by both headers, except the sums a data descriptor carries instead.
        std::string common;
        put16(common, 20);
        // Names that are not ASCII are marked as UTF-8, as every current packer marks them.
        const bool ascii = std::all_of(entry.name.begin(), entry.name.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        put16(common, (ascii ? 0 : 0x0800) | (entry.descriptor ? 0x0008 : 0));
        put16(common, entry.method);
        put32(common, 0);
        std::string sums;
        put32(sums, zipCRC32(entry.data));
        put32(sums, body.size());
        put32(sums, entry.uncompressedSize.value_or(entry.data.size()));
        std::string names;
        put16(names, entry.name.size());

        put32(out, 0x04034B50);
        out += common + (entry.descriptor ? std::string(12, '\0') : sums) + names;
        put16(out, entry.localExtra.size());
        out += entry.name + entry.localExtra + body;
        if (entry.descriptor) {
            put32(out, 0x08074B50);
            out += sums;
        }
        common += sums + names;

        put32(directory, 0x02014B50);
        put16(directory, 0x031E); // made on Unix, format 3.0
        directory += common;
        put16(directory, entry.extra.size());
        put16(directory, entry.comment.size());
        put32(directory, 0); // disk number and internal attributes
        put32(directory, entry.mode << 16);
        put32(directory, offset);
        directory += entry.name + entry.extra + entry.comment;
    }
    const std::size_t directoryOffset = out.size();
    out += directory;
    put32(out, 0x06054B50);
    put32(out, 0); // this disk and the directory's disk
    put16(out, entries.size());
    put16(out, entries.size());
    put32(out, directory.size());
    put32(out, directoryOffset);
    put16(out, comment.size());
    return out + comment;
}

ZipWriter sampleApplicationZip() {
    ZipWriter zip;
    zip.folder("Sample.app/");
    zip.folder("Sample.app/Contents/");
    zip.file("Sample.app/Contents/Info.plist", "<plist/>");
    zip.file("Sample.app/Contents/MacOS/Sample", "#!/bin/sh\n", 0755);
    return zip;
}

std::string patchedField(std::string bytes, std::string_view signature, std::size_t offset,
                         std::uint64_t value, std::size_t width) {
    const std::size_t record = bytes.rfind(signature);
    for (std::size_t i = 0; i < width; ++i) {
        bytes[record + offset + i] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
    return bytes;
}
