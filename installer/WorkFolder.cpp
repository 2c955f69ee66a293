#include "installer/WorkFolder.h"

#include "core/Uuid.h"

#include <system_error>

namespace CenterInstaller {
namespace {

namespace fs = std::filesystem;

// The hold on a folder just created; nothing when a sweep took it first.
std::optional<CenterCore::FolderLock> holdNew(const fs::path& folder) {
    try {
        std::optional<CenterCore::FolderLock> lock = CenterCore::FolderLock::tryLock(folder);
        if (lock && lock->holds(folder)) {
            return lock;
        }
    } catch (const fs::filesystem_error&) {
        // Removed before it could be opened.
    }
    return std::nullopt;
}

// Creates a folder that this run holds. A sweep in another process may remove a new folder
// before it is held; then the run starts over with a fresh name.
std::pair<fs::path, CenterCore::FolderLock>
createHeld(const fs::path& parent, const std::string& prefix, InstallOperations& operations) {
    for (;;) {
        fs::path folder = parent / (prefix + CenterCore::newUUID());
        operations.createDirectory(folder);
        if (std::optional<CenterCore::FolderLock> lock = holdNew(folder)) {
            return {std::move(folder), std::move(*lock)};
        }
    }
}

} // namespace

WorkFolder::WorkFolder(const fs::path& parent, const std::string& prefix,
                       InstallOperations& operations)
    : WorkFolder(operations, createHeld(parent, prefix, operations)) {}

WorkFolder::~WorkFolder() {
    try {
        operations_.remove(path_);
    } catch (...) {
        // Left to the next sweep, which finds it held by nobody.
    }
}

std::vector<fs::path> prefixedFolders(const fs::path& parent, const std::string& prefix) {
    std::vector<fs::path> folders;
    std::error_code error;
    for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
        std::error_code kindError;
        if (it->path().filename().string().starts_with(prefix) && !it->is_symlink(kindError) &&
            it->is_directory(kindError)) {
            folders.push_back(it->path());
        }
    }
    return folders;
}

void sweepWorkFolders(const fs::path& parent, const std::string& prefix,
                      InstallOperations& operations) {
    for (const fs::path& folder : prefixedFolders(parent, prefix)) {
        try {
            if (std::optional<CenterCore::FolderLock> lock =
                    CenterCore::FolderLock::tryLock(folder)) {
                operations.remove(folder);
            }
        } catch (...) {
            // Tried again by the next sweep.
        }
    }
}

} // namespace CenterInstaller
