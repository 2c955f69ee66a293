#include "publisher/ReleaseZip.h"

#include "core/CancellationError.h"
#include "core/CenterError.h"
#include "core/FileDescriptor.h"
#include "core/FileOperationError.h"
#include "core/ScopedRemoval.h"
#include "core/Uuid.h"
#include "installer/SignatureCheck.h"
#include "installer/ZipCentralDirectory.h"
#include "installer/ZipRules.h"
#include "publisher/BundleCheck.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace CenterPublisher {
namespace {

namespace fs = std::filesystem;
using CenterCore::FileOperation;
using CenterCore::FileOperationError;
using CenterCore::throwFileError;

constexpr std::size_t chunkBytes = 1 << 20;
constexpr std::uint16_t versionMadeBy = 3 << 8 | 20; // Unix, format 2.0
constexpr std::uint16_t versionNeeded = 20;
constexpr std::uint16_t utf8NamesFlag = 0x0800;
constexpr std::uint16_t storedMethod = 0;
constexpr std::uint16_t deflateMethod = 8;
constexpr std::uint32_t dosDirectoryAttribute = 0x10;
constexpr std::uint64_t largest32 = 0xFFFFFFFE; // 0xFFFFFFFF would mean ZIP64
constexpr std::size_t maximumEntries = 65534;

const char* const tooLarge = "应用程序超出不含 ZIP64 的安装包所能容纳的大小，无法打包。";

// One folder or file of the bundle, named as it will be stored.
struct Item {
    std::string name;
    fs::path source;
    bool folder = false;
    std::uint32_t permissions = 0;
    std::uint64_t size = 0;
    std::uint32_t dosTime = 0;
};

// What the central directory records of an entry once its data is written.
struct Written {
    std::uint64_t offset = 0;
    std::uint16_t method = storedMethod;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
};

// DOS date and time in UTC, so that the same bundle packs to the same bytes anywhere.
std::uint32_t dosTime(const struct stat& status) {
    std::tm parts{};
    const std::time_t seconds = status.st_mtim.tv_sec;
    ::gmtime_r(&seconds, &parts);
    if (parts.tm_year < 80) {
        return 0x00210000; // 1980-01-01, the earliest a DOS date can say
    }
    const int year = std::min(parts.tm_year - 80, 127); // the last year a DOS date holds
    const auto date =
        static_cast<std::uint32_t>(year << 9 | (parts.tm_mon + 1) << 5 | parts.tm_mday);
    const auto time =
        static_cast<std::uint32_t>(parts.tm_hour << 11 | parts.tm_min << 5 | parts.tm_sec / 2);
    return date << 16 | time;
}

Item describe(const fs::path& source, std::string name) {
    struct stat status {};
    if (::lstat(source.c_str(), &status) != 0) {
        throwFileError(FileOperation::Read, source);
    }
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
        throw CenterError::invalid("应用程序包含符号链接或特殊文件，无法打包：" + name);
    }
    Item item{std::move(name),
              source,
              S_ISDIR(status.st_mode),
              status.st_mode & 0777u,
              static_cast<std::uint64_t>(status.st_size),
              dosTime(status)};
    if (item.folder) {
        item.name += '/';
        item.size = 0;
    }
    return item;
}

// Every folder and file of the bundle, the bundle itself first, in byte order of their names.
std::vector<Item> collect(const fs::path& app, const std::string& topLevelName) {
    std::vector<Item> items{describe(app, topLevelName)};
    std::error_code error;
    fs::recursive_directory_iterator it(app, error);
    if (error) {
        throw FileOperationError(FileOperation::Open, app, error);
    }
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        const std::string relative = it->path().lexically_relative(app).generic_string();
        items.push_back(describe(it->path(), topLevelName + "/" + relative));
    }
    if (error) {
        // A folder further down that cannot be read: the walk does not say which.
        throw FileOperationError(FileOperation::List, error);
    }
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.name < b.name; });
    std::uint64_t total = 0;
    for (const Item& item : items) {
        total += item.size;
        if (item.size > largest32 || total > CenterInstaller::maximumUnpackedBytes) {
            throw CenterError::invalid(tooLarge);
        }
    }
    if (items.size() > maximumEntries) {
        throw CenterError::invalid(tooLarge);
    }
    return items;
}

// The package file, always a new one: written in large blocks, with the local headers patched in
// place once the sizes they announce are known. Every append honours the caller's stop request,
// at least once for each chunk read from the bundle.
class PackageFile {
  public:
    // Written at `file`; failures name `shown`, the package the user asked for, since `file`
    // is a hidden work name.
    PackageFile(const fs::path& file, const fs::path& shown, std::stop_token stop)
        : file_(shown), stop_(std::move(stop)),
          fd_(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)) {
        if (!fd_.valid()) {
            throwFileError(FileOperation::Create, shown);
        }
        buffer_.reserve(chunkBytes);
    }

    [[nodiscard]] std::uint64_t offset() const { return offset_; }

    void append(const void* data, std::size_t size) {
        if (stop_.stop_requested()) {
            throw CancellationError();
        }
        const auto* bytes = static_cast<const char*>(data);
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        offset_ += size;
        if (buffer_.size() >= chunkBytes) {
            flush();
        }
    }

    void append(const std::string& bytes) { append(bytes.data(), bytes.size()); }

    // Continues writing at an earlier offset, dropping what followed it.
    void rewind(std::uint64_t offset) {
        flush();
        offset_ = offset;
    }

    void overwrite(std::uint64_t offset, const std::string& bytes) {
        flush();
        writeAt(offset, bytes.data(), bytes.size());
    }

    void finish() {
        flush();
        if (::ftruncate(fd_.get(), static_cast<off_t>(offset_)) != 0 || ::fsync(fd_.get()) != 0) {
            throwFileError(FileOperation::Write, file_);
        }
        if (!fd_.close()) {
            throwFileError(FileOperation::Write, file_);
        }
    }

  private:
    void flush() {
        writeAt(offset_ - buffer_.size(), buffer_.data(), buffer_.size());
        buffer_.clear();
    }

    void writeAt(std::uint64_t offset, const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t written = ::pwrite(fd_.get(), data, size, static_cast<off_t>(offset));
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throwFileError(FileOperation::Write, file_);
            }
            data += written;
            offset += static_cast<std::uint64_t>(written);
            size -= static_cast<std::size_t>(written);
        }
    }

    fs::path file_;
    std::stop_token stop_;
    FileDescriptor fd_;
    std::uint64_t offset_ = 0;
    std::vector<char> buffer_;
};

void put16(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8 & 0xFF));
}

void put32(std::string& out, std::uint64_t value) {
    put16(out, static_cast<std::uint32_t>(value & 0xFFFF));
    put16(out, static_cast<std::uint32_t>(value >> 16 & 0xFFFF));
}

std::uint32_t checked32(std::uint64_t value) {
    if (value > largest32) {
        throw CenterError::invalid(tooLarge);
    }
    return static_cast<std::uint32_t>(value);
}

std::string localHeader(const Item& item, const Written& written) {
    std::string header;
    put32(header, 0x04034B50);
    put16(header, versionNeeded);
    put16(header, utf8NamesFlag);
    put16(header, written.method);
    put32(header, item.dosTime);
    put32(header, written.crc);
    put32(header, checked32(written.compressedSize));
    put32(header, checked32(item.size));
    put16(header, static_cast<std::uint32_t>(item.name.size()));
    put16(header, 0);
    header += item.name;
    return header;
}

std::string centralEntry(const Item& item, const Written& written) {
    const std::uint32_t type = item.folder ? S_IFDIR : S_IFREG;
    std::string entry;
    put32(entry, 0x02014B50);
    put16(entry, versionMadeBy);
    put16(entry, versionNeeded);
    put16(entry, utf8NamesFlag);
    put16(entry, written.method);
    put32(entry, item.dosTime);
    put32(entry, written.crc);
    put32(entry, checked32(written.compressedSize));
    put32(entry, checked32(item.size));
    put16(entry, static_cast<std::uint32_t>(item.name.size()));
    put16(entry, 0); // extra field
    put16(entry, 0); // comment
    put16(entry, 0); // disk number start
    put16(entry, 0); // internal attributes
    put32(entry, (type | item.permissions) << 16 | (item.folder ? dosDirectoryAttribute : 0));
    put32(entry, checked32(written.offset));
    entry += item.name;
    return entry;
}

// Reads a file from the start, one chunk at a time.
class SourceFile {
  public:
    explicit SourceFile(const fs::path& file)
        : file_(file), fd_(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)) {
        if (!fd_.valid()) {
            throwFileError(FileOperation::Open, file);
        }
    }

    // The next chunk, empty at the end of the file.
    std::size_t read(std::vector<unsigned char>& chunk, std::uint64_t offset) const {
        for (;;) {
            const ssize_t count =
                ::pread(fd_.get(), chunk.data(), chunk.size(), static_cast<off_t>(offset));
            if (count >= 0) {
                return static_cast<std::size_t>(count);
            }
            if (errno != EINTR) {
                throwFileError(FileOperation::Read, file_);
            }
        }
    }

  private:
    fs::path file_;
    FileDescriptor fd_;
};

// Writes the file's bytes as they are; returns the CRC-32 and the size actually read.
std::pair<std::uint32_t, std::uint64_t> writeStored(const SourceFile& source, PackageFile& out,
                                                    std::vector<unsigned char>& chunk) {
    uLong crc = crc32(0, nullptr, 0);
    std::uint64_t total = 0;
    while (const std::size_t count = source.read(chunk, total)) {
        crc = crc32(crc, chunk.data(), static_cast<uInt>(count));
        out.append(chunk.data(), count);
        total += count;
    }
    return {static_cast<std::uint32_t>(crc), total};
}

// Deflates the file's bytes into the package; returns the CRC-32 and the size actually read.
std::pair<std::uint32_t, std::uint64_t> writeDeflated(const SourceFile& source, PackageFile& out,
                                                      std::vector<unsigned char>& chunk,
                                                      std::vector<unsigned char>& compressed) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::bad_alloc();
    }
    uLong crc = crc32(0, nullptr, 0);
    std::uint64_t total = 0;
    int status = Z_OK;
    try {
        while (status != Z_STREAM_END) {
            const std::size_t count = source.read(chunk, total);
            crc = crc32(crc, chunk.data(), static_cast<uInt>(count));
            total += count;
            stream.next_in = chunk.data();
            stream.avail_in = static_cast<uInt>(count);
            const int flush = count == 0 ? Z_FINISH : Z_NO_FLUSH;
            do {
                stream.next_out = compressed.data();
                stream.avail_out = static_cast<uInt>(compressed.size());
                status = deflate(&stream, flush);
                out.append(compressed.data(), compressed.size() - stream.avail_out);
            } while (stream.avail_out == 0);
        }
    } catch (...) {
        deflateEnd(&stream);
        throw;
    }
    deflateEnd(&stream);
    return {static_cast<std::uint32_t>(crc), total};
}

Written writeEntry(const Item& item, PackageFile& out, std::vector<unsigned char>& chunk,
                   std::vector<unsigned char>& compressed) {
    Written written{out.offset(), storedMethod, 0, 0};
    out.append(localHeader(item, written));
    if (item.folder) {
        return written;
    }
    const std::uint64_t dataOffset = out.offset();
    const SourceFile source(item.source);
    auto [crc, size] = writeDeflated(source, out, chunk, compressed);
    written.method = deflateMethod;
    if (out.offset() - dataOffset >= size) {
        // Deflating did not help: store the bytes instead, over what was just written.
        out.rewind(dataOffset);
        std::tie(crc, size) = writeStored(source, out, chunk);
        written.method = storedMethod;
    }
    if (size != item.size) {
        throw CenterError::invalid("应用程序在打包期间被修改，请重试：" + item.name);
    }
    written.crc = crc;
    written.compressedSize = out.offset() - dataOffset;
    out.overwrite(written.offset, localHeader(item, written));
    return written;
}

std::string endRecord(std::size_t entries, std::uint64_t directorySize,
                      std::uint64_t directoryOffset) {
    std::string record;
    put32(record, 0x06054B50);
    put16(record, 0);
    put16(record, 0);
    put16(record, static_cast<std::uint32_t>(entries));
    put16(record, static_cast<std::uint32_t>(entries));
    put32(record, checked32(directorySize));
    put32(record, checked32(directoryOffset));
    put16(record, 0);
    return record;
}

void writePackage(const std::vector<Item>& items, PackageFile& out) {
    std::vector<unsigned char> chunk(chunkBytes);
    std::vector<unsigned char> compressed(chunkBytes);
    std::string directory;
    for (const Item& item : items) {
        directory += centralEntry(item, writeEntry(item, out, chunk, compressed));
    }
    const std::uint64_t directoryOffset = out.offset();
    out.append(directory);
    out.append(endRecord(items.size(), directory.size(), directoryOffset));
    out.finish();
}

// A package written into the bundle it holds would be packed into itself.
void refuseOutputInside(const fs::path& app, const fs::path& output) {
    const fs::path folder = fs::weakly_canonical(fs::absolute(output).parent_path());
    const fs::path bundle = fs::canonical(app);
    if (std::mismatch(bundle.begin(), bundle.end(), folder.begin(), folder.end()).first ==
        bundle.end()) {
        throw CenterError::invalid("安装包不能写在应用程序文件夹之内。");
    }
}

// Only a file may be replaced: a folder named as the package is refused, never emptied.
void refuseFolderOutput(const fs::path& output) {
    std::error_code error;
    const fs::path name = output.filename();
    if (name.empty() || name == "." || name == ".." || fs::is_directory(output, error)) {
        throw CenterError::invalid("安装包只能写成文件，不能写到文件夹：" + output.string());
    }
}

// A hidden, unique name beside the package: the package appears whole under its own name or not
// at all, and an earlier package stays as it was until then.
fs::path partialBeside(const fs::path& output) {
    // Appended piece by piece: GCC 12 at -O3 misreads `"." + name` as an overlapping copy.
    std::string name = ".";
    name.append(output.filename().string()).append(".").append(CenterCore::newUUID());
    return output.parent_path() / name.append(".partial");
}

} // namespace

std::string packRelease(const fs::path& app, const fs::path& output, std::stop_token stop) {
    const fs::path bundle = app.has_filename() ? app : app.parent_path();
    requireApplication(bundle);
    const std::vector<Item> items = collect(bundle, bundle.filename().string());
    refuseOutputInside(bundle, output);
    refuseFolderOutput(output);
    CenterInstaller::verifyCodeSignature(bundle);

    const fs::path partial = partialBeside(output);
    PackageFile out(partial, output, stop);
    ScopedRemoval removeOnFailure(partial);
    writePackage(items, out);
    std::string name = CenterInstaller::inspectZIP(partial);
    if (stop.stop_requested()) {
        throw CancellationError();
    }
    if (::rename(partial.c_str(), output.c_str()) != 0) {
        throw CenterError::invalid("无法把安装包放到位，原有文件保持不变：" + output.string());
    }
    removeOnFailure.release();
    return name;
}

} // namespace CenterPublisher
