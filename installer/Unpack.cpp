#include "installer/Unpack.h"

#include "core/CenterError.h"
#include "installer/ZipInspection.h"
#include "installer/ZipMapping.h"
#include "installer/ZipRules.h"

#include <archive.h>
#include <archive_entry.h>
#include <memory>
#include <string>

namespace CenterInstaller {
namespace {

struct FreeArchiveReader {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
struct FreeArchiveWriter {
    void operator()(archive* writer) const { archive_write_free(writer); }
};
using ArchiveReader = std::unique_ptr<archive, FreeArchiveReader>;
using ArchiveWriter = std::unique_ptr<archive, FreeArchiveWriter>;

constexpr std::size_t errorTextLimit = 1500;

// The same sentence the installer gives for any unpacking step that did not complete.
[[noreturn]] void fail(archive* source) {
    const char* reason = archive_error_string(source);
    std::string detail = reason != nullptr ? reason : "";
    if (detail.size() > errorTextLimit) {
        detail.resize(errorTextLimit);
    }
    throw CenterError::install("验证或安装未完成：" + detail);
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

ArchiveWriter openWriter() {
    ArchiveWriter writer(archive_write_disk_new());
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

// Holds an entry, as the reader describes it, to the rules the inspection applied to the
// central directory, and to the one application folder the inspection admitted.
void admit(archive_entry* entry, const ZipContents& contents) {
    const char* rawName = archive_entry_pathname(entry);
    const std::string_view name = rawName != nullptr ? rawName : "";
    checkZipEntryName(name);
    const std::string_view top = zipTopLevelName(name);
    if (top != contents.topLevelName && top != resourceForkFolder) {
        throw CenterError::invalid("安装包必须只包含一个独立的 .app 软件。");
    }
    const auto type = archive_entry_filetype(entry);
    if ((type != AE_IFREG && type != AE_IFDIR) || archive_entry_hardlink(entry) != nullptr ||
        archive_entry_symlink(entry) != nullptr) {
        throw CenterError::invalid("此安装方式不支持符号链接或特殊文件，请使用专用安装包。");
    }
}

// Copies one file's data, counting every byte against what the whole package declared.
void copyData(archive* reader, archive* writer, std::uint64_t declared, std::uint64_t& written) {
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
        if (size > declared - written) {
            throw CenterError::invalid("安装包解压后体积过大。");
        }
        written += size;
        if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
            fail(writer);
        }
    }
}

} // namespace

void unpackZIP(const std::filesystem::path& zip, const std::filesystem::path& destination) {
    const ZipMapping mapping(zip);
    const ZipContents contents = inspectZIPBytes(mapping.bytes());
    const std::filesystem::path root = std::filesystem::canonical(destination);

    const ArchiveReader reader = openReader(mapping.bytes());
    const ArchiveWriter writer = openWriter();
    std::uint64_t written = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status != ARCHIVE_OK) {
            fail(reader.get());
        }
        admit(entry, contents);
        const std::string name = archive_entry_pathname(entry);
        archive_entry_copy_pathname(entry, (root / name).c_str());
        // Set-uid, set-gid and sticky bits never survive; the rest of the mode does.
        archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777);
        // Without a size the writer neither clips nor pads the file to a declared length: what
        // lands on disk is exactly what was counted.
        archive_entry_unset_size(entry);
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK) {
            fail(writer.get());
        }
        if (archive_entry_filetype(entry) == AE_IFREG) {
            copyData(reader.get(), writer.get(), contents.unpackedBytes, written);
        }
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK) {
            fail(writer.get());
        }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
        fail(writer.get());
    }
}

} // namespace CenterInstaller
