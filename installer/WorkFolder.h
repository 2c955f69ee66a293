#pragma once

#include "core/FolderLock.h"
#include "installer/InstallOperations.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace CenterInstaller {

// A folder that one run works in, named with a fixed prefix and a fresh UUID. The run holds it
// while it lasts and removes it at the end; what a killed run left behind is held by nobody,
// and the next sweep of the same place removes it.
class WorkFolder {
  public:
    // Creates and holds a new folder in `parent`, which must exist.
    WorkFolder(const std::filesystem::path& parent, const std::string& prefix,
               InstallOperations& operations);
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    // Removes the folder and everything in it; failures are left to the next sweep.
    ~WorkFolder();

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

  private:
    WorkFolder(InstallOperations& operations,
               std::pair<std::filesystem::path, CenterCore::FolderLock> held)
        : operations_(operations), path_(std::move(held.first)), lock_(std::move(held.second)) {}

    InstallOperations& operations_;
    std::filesystem::path path_;
    CenterCore::FolderLock lock_;
};

// Removes every folder in `parent` whose name begins with `prefix` and that no running process
// holds. Never throws: what cannot be removed now is tried again by the next sweep.
void sweepWorkFolders(const std::filesystem::path& parent, const std::string& prefix,
                      InstallOperations& operations);

// The folders in `parent` whose names begin with `prefix`, symbolic links excluded.
[[nodiscard]] std::vector<std::filesystem::path>
prefixedFolders(const std::filesystem::path& parent, const std::string& prefix);

} // namespace CenterInstaller
