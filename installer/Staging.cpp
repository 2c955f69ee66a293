#include "installer/Staging.h"

#include "core/Base64.h"
#include "core/FileContents.h"
#include "core/FolderLock.h"
#include "installer/WorkFolder.h"

#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

namespace CenterInstaller {
namespace Staging {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t maximumRecordBytes = 64 * 1024 * 1024;

bool isBundleName(const std::string& name) {
    return name.size() > 4 && name.ends_with(".app") && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && !name.starts_with('.');
}

std::optional<Record> readRecord(const fs::path& file) {
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
    return decode(text);
}

// Puts the bundle back the way the record and the staging folder describe it; throws when a
// step fails.
void restore(const fs::path& staging, const fs::path& bundle, const Record& record,
             InstallOperations& operations) {
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(bundle, error))) {
        throw fs::filesystem_error("the bundle is gone", bundle,
                                   std::make_error_code(std::errc::no_such_file_or_directory));
    }
    fs::path contents = bundle / "Contents";
    if (isPresent(staging / previousContents)) {
        if (isPresent(contents)) {
            // The update had swapped in its new Contents: it finished.
            return;
        }
        operations.move(staging / previousContents, contents);
    }
    if (isPresent(staging / previousIcon) && !isPresent(bundle / legacyIconFileName)) {
        operations.move(staging / previousIcon, bundle / legacyIconFileName);
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
    if (isPresent(staging / recordName)) {
        std::optional<Record> record = readRecord(staging / recordName);
        if (!record) {
            throw fs::filesystem_error("unreadable record", staging / recordName,
                                       std::make_error_code(std::errc::invalid_argument));
        }
        restore(staging, applicationsDirectory / record->bundleName, *record, operations);
    }
    remove(staging, operations);
}

} // namespace

std::string encode(const Record& record) {
    nlohmann::json attributes = nlohmann::json::object();
    for (const auto& [name, value] : record.folderAttributes) {
        attributes[name] = CenterCore::base64Encode(value);
    }
    return nlohmann::json{{"bundle", record.bundleName}, {"folderAttributes", attributes}}.dump();
}

std::optional<Record> decode(std::string_view text) {
    nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    if (!document.is_object() || !document.contains("bundle") || !document["bundle"].is_string() ||
        !document.contains("folderAttributes") || !document["folderAttributes"].is_object()) {
        return std::nullopt;
    }
    Record record{document["bundle"].get<std::string>(), {}};
    if (!isBundleName(record.bundleName)) {
        return std::nullopt;
    }
    for (const auto& [name, value] : document["folderAttributes"].items()) {
        std::optional<std::string> bytes =
            value.is_string() ? CenterCore::base64Decode(value.get<std::string>()) : std::nullopt;
        if (!bytes) {
            return std::nullopt;
        }
        record.folderAttributes.emplace(name, std::move(*bytes));
    }
    return record;
}

void remove(const fs::path& folder, InstallOperations& operations) {
    try {
        operations.remove(folder / recordName);
        std::vector<fs::path> items;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            items.push_back(it->path());
        }
        for (const fs::path& item : items) {
            operations.remove(item);
        }
        operations.remove(folder);
    } catch (...) {
        // A staging folder that cannot be removed now is removed by the next recovery.
    }
}

} // namespace Staging

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
            Staging::recoverFolder(applicationsDirectory, folder, operations);
        } catch (...) {
            // Left as it is: what it holds may be the only copy of the user's application.
        }
    }
}

} // namespace CenterInstaller
