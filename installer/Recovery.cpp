#include "installer/Recovery.h"

#include "core/FileContents.h"
#include "core/FileOperationError.h"
#include "core/FolderLock.h"
#include "installer/LegacyIcon.h"
#include "installer/Staging.h"
#include "installer/WorkFolder.h"

#include <optional>
#include <string>
#include <system_error>

namespace CenterInstaller {
namespace {

namespace fs = std::filesystem;
constexpr std::size_t maximumRecordBytes = 64 * 1024 * 1024;

std::optional<Staging::Record> readRecord(const fs::path& file) {
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(file, error))) {
        return std::nullopt;
    }
    std::string text;
    try {
        text = CenterCore::readFileContents(file, maximumRecordBytes);
    } catch (const fs::filesystem_error&) {
        return std::nullopt;
    }
    if (text.size() > maximumRecordBytes) {
        return std::nullopt;
    }
    return Staging::decode(text);
}

// Puts the bundle back the way the record and the staging folder describe it; throws when a
// step fails.
void restore(const fs::path& staging, const fs::path& bundle, const Staging::Record& record,
             InstallOperations& operations) {
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(bundle, error))) {
        throw CenterCore::FileOperationError(
            CenterCore::FileOperation::Inspect, bundle,
            std::make_error_code(std::errc::no_such_file_or_directory));
    }
    fs::path contents = bundle / "Contents";
    if (isPresent(staging / Staging::previousContents)) {
        if (isPresent(contents)) {
            // The update had swapped in its new Contents: it finished.
            return;
        }
        operations.move(staging / Staging::previousContents, contents);
    }
    if (isPresent(staging / Staging::previousIcon) && !isPresent(bundle / legacyIconFileName)) {
        operations.move(staging / Staging::previousIcon, bundle / legacyIconFileName);
    }
    replaceIconAttributes(bundle, record.folderAttributes, operations);
}

void recoverFolder(const fs::path& applicationsDirectory, const fs::path& staging,
                   InstallOperations& operations) {
    std::optional<CenterCore::FolderLock> lock = CenterCore::FolderLock::tryLock(staging);
    if (!lock) {
        return;
    }
    // Without a record the run never moved anything out of the bundle, or it finished.
    if (isPresent(staging / Staging::recordName)) {
        std::optional<Staging::Record> record = readRecord(staging / Staging::recordName);
        if (!record) {
            throw CenterCore::FileOperationError(CenterCore::FileOperation::Read,
                                                 staging / Staging::recordName,
                                                 std::make_error_code(std::errc::invalid_argument));
        }
        restore(staging, applicationsDirectory / record->bundleName, *record, operations);
    }
    Staging::remove(staging, operations);
}

} // namespace

void recoverInterruptedInstallations(const std::filesystem::path& applicationsDirectory,
                                     InstallOperations& operations) {
    try {
        if (std::optional<CenterCore::FolderLock> turn =
                CenterCore::FolderLock::tryLock(applicationsDirectory)) {
            recoverStagingFolders(applicationsDirectory, operations);
        }
    } catch (...) {
        // A folder that cannot be opened holds nothing to recover.
    }
}

void recoverStagingFolders(const std::filesystem::path& applicationsDirectory,
                           InstallOperations& operations) {
    for (const std::filesystem::path& folder :
         prefixedFolders(applicationsDirectory, Staging::prefix)) {
        try {
            recoverFolder(applicationsDirectory, folder, operations);
        } catch (...) {
            // Left as it is: what it holds may be the only copy of the user's application.
        }
    }
}

} // namespace CenterInstaller
