#pragma once

#include "installer/InstallOperations.h"
#include "installer/LegacyIcon.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace CenterInstaller {

// The hidden folder beside the installed applications where one installation prepares its
// work: the unpacked application, the replaced Contents and "Icon\r", and the record that lets
// an interrupted update be undone.
namespace Staging {

// How every staging folder's name begins.
inline constexpr const char* prefix = ".kestryn-stage-";
// Where an update keeps the installed bundle's Contents and "Icon\r" while it swaps them.
inline constexpr const char* previousContents = "previous-Contents";
inline constexpr const char* previousIcon = "previous-Icon";
// Where a rollback puts the new Contents it takes out again.
inline constexpr const char* rejectedContents = "rejected-Contents";
// The record naming the bundle whose Contents the folder holds; present from just before the
// installed Contents are moved aside until the run has finished.
inline constexpr const char* recordName = "restore.json";

// What an update records before it moves the installed Contents aside.
struct Record {
    std::string bundleName;
    IconAttributes folderAttributes;

    friend bool operator==(const Record&, const Record&) = default;
};

[[nodiscard]] std::string encode(const Record& record);
// Nothing when the text is not a record or names anything but one bundle folder.
[[nodiscard]] std::optional<Record> decode(std::string_view text);

// Removes a finished run's staging folder: its record first, since nothing in it needs putting
// back any more, then its items and the folder. Failures are ignored.
void remove(const std::filesystem::path& folder, InstallOperations& operations);

} // namespace Staging

} // namespace CenterInstaller
