#pragma once

#include <cstdint>
#include <filesystem>

// The standard library's file-system calls the program's own steps make, each failing with a
// CenterCore::FileOperationError that says what it was doing.
namespace CenterCore {

void createDirectories(const std::filesystem::path& folder);
// Replaces whatever `to` names.
void rename(const std::filesystem::path& from, const std::filesystem::path& to);
void removeAll(const std::filesystem::path& item);
[[nodiscard]] std::uintmax_t fileSize(const std::filesystem::path& file);
// Follows links, as std::filesystem::exists does.
[[nodiscard]] bool exists(const std::filesystem::path& item);

} // namespace CenterCore
