#pragma once

#include "core/FileDescriptor.h"

#include <filesystem>
#include <optional>
#include <stop_token>
#include <utility>

namespace CenterCore {

// An exclusive hold on a folder, for as long as one run uses it. The system releases it when
// the process ends, however it ends, so a folder nobody holds belongs to no running process.
class FolderLock {
  public:
    // Waits until no other run holds the folder. Throws CancellationError when a stop is
    // requested meanwhile and std::filesystem::filesystem_error when the folder cannot be opened.
    [[nodiscard]] static FolderLock wait(const std::filesystem::path& folder,
                                         std::stop_token stop = {});
    // Nothing when another run holds the folder.
    [[nodiscard]] static std::optional<FolderLock> tryLock(const std::filesystem::path& folder);

    // Whether the path still names the folder this lock holds: a sweep may have removed the
    // folder between its creation and the lock.
    [[nodiscard]] bool holds(const std::filesystem::path& folder) const;

    FolderLock(FolderLock&&) noexcept = default;
    FolderLock& operator=(FolderLock&&) = delete;

  private:
    explicit FolderLock(FileDescriptor fd) : fd_(std::move(fd)) {}
    FileDescriptor fd_;
};

} // namespace CenterCore
