#include "core/FolderLock.h"

#include "core/CancellationError.h"
#include "core/FileOperationError.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace CenterCore {
namespace {

namespace fs = std::filesystem;

FileDescriptor openFolder(const fs::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        throwFileError(FileOperation::Open, folder);
    }
    return fd;
}

} // namespace

FolderLock FolderLock::wait(const fs::path& folder, std::stop_token stop) {
    // Polled rather than blocking, so that a stop request ends the wait promptly.
    for (;;) {
        if (std::optional<FolderLock> lock = tryLock(folder)) {
            return std::move(*lock);
        }
        if (stop.stop_requested()) {
            throw CancellationError();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::optional<FolderLock> FolderLock::tryLock(const fs::path& folder) {
    FolderLock lock(openFolder(folder));
    while (::flock(lock.fd_.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return std::nullopt;
        }
        if (errno != EINTR) {
            throwFileError(FileOperation::Lock, folder);
        }
    }
    return lock;
}

bool FolderLock::holds(const fs::path& folder) const {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd_.get(), &held) == 0 && ::lstat(folder.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace CenterCore
