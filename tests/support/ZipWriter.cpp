#include "tests/support/ZipWriter.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr std::uint16_t storedMethod = 0;
constexpr std::uint16_t deflateMethod = 8;

void put16(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8 & 0xFF));
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

std::uint32_t size32(std::size_t size) {
    return static_cast<std::uint32_t>(size);
}

std::string rawDeflate(const std::string& data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) {
        throw std::runtime_error("deflate");
    }
    return out;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

std::uint32_t zipCRC32(std::string_view data) {
    return static_cast<std::uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

ZipEntry& ZipEntry::unixMode(std::uint32_t mode) {
    externalAttributes = mode << 16;
    return *this;
}

ZipEntry& ZipWriter::file(std::string name, std::string data, std::uint32_t permissions) {
    ZipEntry entry{.name = std::move(name), .data = std::move(data)};
    entry.unixMode(S_IFREG | permissions);
    return add(std::move(entry));
}

ZipEntry& ZipWriter::folder(std::string name, std::uint32_t permissions) {
    ZipEntry entry{.name = std::move(name)};
    entry.unixMode(S_IFDIR | permissions);
    return add(std::move(entry));
}

ZipEntry& ZipWriter::add(ZipEntry entry) {
    entries.push_back(std::move(entry));
    return entries.back();
}

ZipWriter ZipWriter::ofTree(const std::filesystem::path& folder) {
    const std::filesystem::path base = folder.parent_path();
    std::vector<std::filesystem::path> items{folder};
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder)) {
        items.push_back(item.path());
    }
    std::sort(items.begin(), items.end());
    ZipWriter zip;
    for (const std::filesystem::path& item : items) {
        const std::string name = item.lexically_relative(base).generic_string();
        const auto permissions =
            static_cast<std::uint32_t>(std::filesystem::status(item).permissions()) & 0777;
        if (std::filesystem::is_directory(item)) {
            zip.folder(name + "/", permissions);
        } else {
            zip.file(name, readFile(item), permissions).method = deflateMethod;
        }
    }
    return zip;
}

std::string ZipWriter::bytes() const {
    std::string out = prefix;
    const std::uint32_t base = offsetsIgnorePrefix ? size32(prefix.size()) : 0;
    std::string directory;
    for (const ZipEntry& entry : entries) {
        const std::string body =
            entry.method == deflateMethod ? rawDeflate(entry.data) : entry.data;
        const std::uint32_t crc = entry.crc32.value_or(zipCRC32(entry.data));
        const std::uint32_t offset = size32(out.size()) - base;
        const std::string& localName = entry.localName.value_or(entry.name);

        put32(out, 0x04034B50);
        put16(out, 20);
        put16(out, entry.localFlags.value_or(entry.flags));
        put16(out, entry.localMethod.value_or(entry.method));
        put32(out, 0); // DOS time and date
        put32(out, crc);
        put32(out, entry.compressedSize.value_or(size32(body.size())));
        put32(out, entry.uncompressedSize.value_or(size32(entry.data.size())));
        put16(out, size32(localName.size()));
        put16(out, size32(entry.localExtra.size()));
        out += localName;
        out += entry.localExtra;
        out += body;

        put32(directory, 0x02014B50);
        put16(directory, entry.versionMadeBy);
        put16(directory, 20);
        put16(directory, entry.flags);
        put16(directory, entry.method);
        put32(directory, 0);
        put32(directory, crc);
        put32(directory, entry.compressedSize.value_or(size32(body.size())));
        put32(directory, entry.uncompressedSize.value_or(size32(entry.data.size())));
        put16(directory, size32(entry.name.size()));
        put16(directory, size32(entry.extra.size()));
        put16(directory, size32(entry.comment.size()));
        put16(directory, entry.diskNumberStart);
        put16(directory, 0); // internal attributes
        put32(directory, entry.externalAttributes);
        put32(directory, entry.localHeaderOffset.value_or(offset));
        directory += entry.name;
        directory += entry.extra;
        directory += entry.comment;
    }
    const std::uint32_t directoryOffset = size32(out.size()) - base;
    out += directory;
    const auto count = static_cast<std::uint16_t>(entries.size());
    put32(out, 0x06054B50);
    put16(out, end.thisDisk.value_or(0));
    put16(out, end.directoryDisk.value_or(0));
    put16(out, end.entriesOnThisDisk.value_or(count));
    put16(out, end.totalEntries.value_or(count));
    put32(out, end.directorySize.value_or(size32(directory.size())));
    put32(out, end.directoryOffset.value_or(directoryOffset));
    put16(out, end.commentLength.value_or(static_cast<std::uint16_t>(comment.size())));
    out += comment;
    out += trailing;
    return out;
}

std::filesystem::path ZipWriter::write(const std::filesystem::path& file) const {
    const std::string content = bytes();
    std::ofstream(file, std::ios::binary)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
    return file;
}
