#include "installer/Unpack.h"

#include "core/CHandle.h"
#include "core/CancellationError.h"
#include "core/CenterError.h"
#include "core/FileMapping.h"
#include "core/Unicode.h"
#include "installer/Utf8Names.h"
#include "installer/ZipCentralDirectory.h"
#include "installer/ZipRules.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace CenterInstaller {
namespace {

using ArchiveReader = CHandle<archive_read_free>;
using ArchiveWriter = CHandle<archive_write_free>;

// The package's pages stay in the process once read, by the inflation and by the walks over its
// headers (each fault maps its neighbours too); dropping them every so many unpacked bytes or
// walked entries keeps the process's memory flat however large the package.
constexpr std::uint64_t releaseEveryBytes = 64 * 1024 * 1024;
constexpr std::size_t releaseEveryEntries = 256;

// libarchive's own text is English and names the temporary folder, so it never reaches the
// user: a failure of the system (a full disk, a refused write) passes on as the system's error,
// anything else is damaged data.
[[noreturn]] void fail(archive* source) {
    const int error = archive_errno(source);
    // libarchive reports damaged data as EILSEQ and misuse as EINVAL; other codes are the system's.
    if (error > 0 && error != EILSEQ && error != EINVAL) {
        throw std::system_error(error, std::generic_category(), "unpack");
    }
    throw CenterError::install("验证或安装未完成：安装包中的数据已损坏，无法解压。");
}

ArchiveReader openReader(std::span<const unsigned char> package) {
    ArchiveReader reader(archive_read_new());
    if (!reader) {
        throw std::bad_alloc();
    }
    // The seekable reader follows the central directory, the same records the inspection
    // proved, rather than whatever local headers happen to lie in the file.
    if (archive_read_support_format_zip_seekable(reader.get()) != ARCHIVE_OK ||
        archive_read_open_memory(reader.get(), package.data(), package.size()) != ARCHIVE_OK) {
        fail(reader.get());
    }
    return reader;
}

// libarchive reads the umask by setting it to 0 and back, when a writer is made and again at each
// entry's header. Two such calls at once can leave the whole process without a umask, and files
// created meanwhile open to all, so they are made one at a time.
std::mutex umaskReads;

int writeHeader(archive* writer, archive_entry* entry) {
    const std::lock_guard lock(umaskReads);
    return archive_write_header(writer, entry);
}

ArchiveWriter openWriter() {
    ArchiveWriter writer = [] {
        const std::lock_guard lock(umaskReads);
        return ArchiveWriter(archive_write_disk_new());
    }();
    if (!writer) {
        throw std::bad_alloc();
    }
    // Entry paths are joined to the resolved destination, so they are absolute by design;
    // relative-path safety is our own name check.
    constexpr int options = ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                            ARCHIVE_EXTRACT_NO_OVERWRITE | ARCHIVE_EXTRACT_PERM |
                            ARCHIVE_EXTRACT_TIME;
    if (archive_write_disk_set_options(writer.get(), options) != ARCHIVE_OK) {
        fail(writer.get());
    }
    return writer;
}

// The state the unpacking threads share: which file entries are taken, how many bytes came out
// in all, and the first failure, which stops the others.
struct SharedExtraction {
    SharedExtraction(const CenterCore::FileMapping& mapped, const ZipContents& admitted,
                     const std::filesystem::path& destination, std::stop_token stopToken)
        : mapping(mapped), package(mapped.bytes()), contents(admitted), root(destination),
          stop(std::move(stopToken)) {
        for (const std::string_view name : contents.unicodeNames) {
            storedNames.emplace(CenterCore::nfc(name), name);
        }
    }

    const CenterCore::FileMapping& mapping;
    std::span<const unsigned char> package;
    const ZipContents& contents;
    const std::filesystem::path& root;
    std::stop_token stop;
    // The package's names that are not ASCII, as stored, by their composed form.
    std::unordered_map<std::string, std::string_view> storedNames{};
    std::unique_ptr<std::atomic<bool>[]> claimed {};
    std::size_t entryCount = 0;
    std::atomic<std::uint64_t> written{0};
    std::atomic<std::size_t> walked{0};
    std::atomic<bool> stopped{false};
    std::mutex failureLock{};
    std::exception_ptr failure{};

    // Counts one entry walked by any reader. A thread still reading maps its pages again.
    void walk() {
        if ((walked.fetch_add(1) + 1) % releaseEveryEntries == 0) {
            mapping.release(package);
        }
    }

    void fail(std::exception_ptr error) {
        const std::lock_guard lock(failureLock);
        if (!failure) {
            failure = std::move(error);
        }
        stopped = true;
    }
};

// The entry's name exactly as the package stores it. The reader recomposes names that are not
// ASCII, and a bundle's seal lists its files by their stored bytes; a name the inspection never
// saw is refused.
std::string_view storedName(archive_entry* entry, const SharedExtraction& shared) {
    const char* read = archive_entry_pathname(entry);
    const std::string_view name = read != nullptr ? read : "";
    if (std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; })) {
        return name;
    }
    const auto stored = shared.storedNames.find(CenterCore::nfc(name));
    if (stored == shared.storedNames.end()) {
        throw CenterError::invalid("ZIP 包含不安全路径。");
    }
    return stored->second;
}

// Holds an entry, as the reader describes it, to the rules the inspection applied to the
// central directory, and to the one application folder the inspection admitted. Returns the
// name under which it is stored.
std::string_view admit(archive_entry* entry, const SharedExtraction& shared) {
    const std::string_view name = storedName(entry, shared);
    checkZipEntryName(name);
    const std::string_view top = zipTopLevelName(name);
    if (top != shared.contents.topLevelName && top != resourceForkFolder) {
        throw CenterError::invalid("安装包必须只包含一个独立的 .app 软件。");
    }
    const auto type = archive_entry_filetype(entry);
    if ((type != AE_IFREG && type != AE_IFDIR) || archive_entry_hardlink(entry) != nullptr ||
        archive_entry_symlink(entry) != nullptr) {
        throw CenterError::invalid("此安装方式不支持符号链接或特殊文件，请使用专用安装包。");
    }
    return name;
}

// The next entry's header; false at the end of the archive.
bool nextEntry(archive* reader, archive_entry*& entry) {
    const int status = archive_read_next_header(reader, &entry);
    if (status == ARCHIVE_EOF) {
        return false;
    }
    if (status != ARCHIVE_OK) {
        fail(reader);
    }
    return true;
}

// Points the entry at its place under the destination, with the mode it may have there.
void place(archive_entry* entry, std::string_view name, const std::filesystem::path& root) {
    archive_entry_copy_pathname(entry, (root / name).c_str());
    // Set-uid, set-gid and sticky bits never survive; the rest of the mode does.
    archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777);
    // Without a size the writer neither clips nor pads the file to a declared length: what
    // lands on disk is exactly what was counted.
    archive_entry_unset_size(entry);
}

// Copies one file's data, counting every byte against what the whole package declared.
void copyData(archive* reader, archive* writer, SharedExtraction& shared) {
    for (;;) {
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) {
            return;
        }
        if (status != ARCHIVE_OK) {
            fail(reader);
        }
        const std::uint64_t before = shared.written.fetch_add(size);
        if (before + size > shared.contents.unpackedBytes) {
            throw CenterError::invalid("安装包解压后体积过大。");
        }
        if ((before + size) / releaseEveryBytes != before / releaseEveryBytes) {
            shared.mapping.release(shared.package);
        }
        if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
            fail(writer);
        }
        if (shared.stopped) {
            return;
        }
        if (shared.stop.stop_requested()) {
            throw CancellationError();
        }
    }
}

// Admits every entry before anything is written, then creates the folders, so that their
// modes apply however the files are ordered. Returns the number of entries. The writer keeps
// the folders writable until it is closed, after the last file.
std::size_t createFolders(SharedExtraction& shared, archive* writer) {
    const ArchiveReader admission = openReader(shared.package);
    archive_entry* entry = nullptr;
    std::size_t count = 0;
    for (; nextEntry(admission.get(), entry); ++count) {
        admit(entry, shared);
        shared.walk();
    }
    const ArchiveReader reader = openReader(shared.package);
    while (nextEntry(reader.get(), entry)) {
        shared.walk();
        if (archive_entry_filetype(entry) == AE_IFDIR) {
            place(entry, admit(entry, shared), shared.root);
            if (writeHeader(writer, entry) != ARCHIVE_OK ||
                archive_write_finish_entry(writer) != ARCHIVE_OK) {
                fail(writer);
            }
        }
    }
    return count;
}

// One thread's share of the files: each walks the whole archive and takes the next file that no
// other thread has taken yet.
void extractFiles(SharedExtraction& shared) {
    const Utf8Names names;
    try {
        const ArchiveReader reader = openReader(shared.package);
        const ArchiveWriter writer = openWriter();
        archive_entry* entry = nullptr;
        for (std::size_t ordinal = 0; !shared.stopped && nextEntry(reader.get(), entry);
             ++ordinal) {
            shared.walk();
            if (shared.stop.stop_requested()) {
                throw CancellationError();
            }
            // Only a package changed on disk meanwhile can read differently the second time.
            if (ordinal >= shared.entryCount) {
                throw CenterError::invalid("ZIP 的文件记录存在冲突。");
            }
            if (archive_entry_filetype(entry) != AE_IFREG ||
                shared.claimed[ordinal].exchange(true)) {
                continue;
            }
            place(entry, admit(entry, shared), shared.root);
            if (writeHeader(writer.get(), entry) != ARCHIVE_OK) {
                fail(writer.get());
            }
            copyData(reader.get(), writer.get(), shared);
            if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK) {
                fail(writer.get());
            }
        }
        if (archive_write_close(writer.get()) != ARCHIVE_OK) {
            fail(writer.get());
        }
    } catch (...) {
        shared.fail(std::current_exception());
    }
}

// Inflating dominates unpacking, and entries inflate independently: one thread per core, up to
// a few, each with its own reader over the same mapped bytes.
unsigned threadCount() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

} // namespace

void unpackZIP(const std::filesystem::path& zip, const std::filesystem::path& destination,
               std::stop_token stop) {
    const Utf8Names names;
    const CenterCore::FileMapping mapping(zip);
    const ZipContents contents = inspectZIPBytes(mapping.bytes());
    // The inspection read every local header.
    mapping.release(mapping.bytes());
    const std::filesystem::path root = std::filesystem::canonical(destination);

    SharedExtraction shared(mapping, contents, root, std::move(stop));
    const ArchiveWriter folders = openWriter();
    shared.entryCount = createFolders(shared, folders.get());
    shared.claimed = std::make_unique<std::atomic<bool>[]>(shared.entryCount);
    {
        std::vector<std::jthread> helpers;
        for (unsigned i = 1; i < threadCount(); ++i) {
            helpers.emplace_back([&shared] { extractFiles(shared); });
        }
        extractFiles(shared);
    }
    if (shared.failure) {
        std::rethrow_exception(shared.failure);
    }
    if (archive_write_close(folders.get()) != ARCHIVE_OK) {
        fail(folders.get());
    }
}

} // namespace CenterInstaller
