#include "installer/PackagedApp.h"

#include "core/CHandle.h"
#include "core/Detection.h"
#include "core/FileMapping.h"
#include "installer/Utf8Names.h"
#include "installer/ZipCentralDirectory.h"

#include <archive.h>
#include <archive_entry.h>
#include <string>

namespace CenterInstaller {
namespace {

using ArchiveReader = CHandle<archive_read_free>;

// An Info.plist beyond this is no application's.
constexpr la_int64_t maximumInfoPlistBytes = 16 * 1024 * 1024;

std::optional<std::string> entryBytes(std::span<const unsigned char> package,
                                      const std::string& name) {
    const Utf8Names names;
    ArchiveReader reader(archive_read_new());
    if (!reader || archive_read_support_format_zip_seekable(reader.get()) != ARCHIVE_OK ||
        archive_read_open_memory(reader.get(), package.data(), package.size()) != ARCHIVE_OK) {
        return std::nullopt;
    }
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        const char* path = archive_entry_pathname_utf8(entry);
        if (path == nullptr || name != path) {
            continue;
        }
        if (archive_entry_size(entry) > maximumInfoPlistBytes) {
            return std::nullopt;
        }
        std::string bytes(static_cast<std::size_t>(archive_entry_size(entry)), '\0');
        if (archive_read_data(reader.get(), bytes.data(), bytes.size()) !=
            static_cast<la_ssize_t>(bytes.size())) {
            return std::nullopt;
        }
        return bytes;
    }
    return std::nullopt;
}

} // namespace

std::optional<InstalledApp> readPackagedApp(const std::filesystem::path& zip) {
    try {
        const CenterCore::FileMapping mapping(zip);
        const ZipContents contents = inspectZIPBytes(mapping.bytes());
        std::optional<std::string> bytes =
            entryBytes(mapping.bytes(), contents.topLevelName + "/Contents/Info.plist");
        return bytes ? CenterCore::parseInstalledApp(*bytes, zip) : std::nullopt;
    } catch (...) {
        // Not a package this center could install: it has no identity to offer.
        return std::nullopt;
    }
}

} // namespace CenterInstaller
