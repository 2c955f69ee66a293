#include "core/FileContents.h"

#include "core/CenterError.h"
#include "core/FileOperationError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace CenterCore {
namespace {

namespace fs = std::filesystem;

// Refuses whatever is not a regular file, by what it is.
void requireRegular(const struct stat& status, const fs::path& file) {
    if (S_ISREG(status.st_mode)) {
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        throwFileError(FileOperation::Read, file, EISDIR);
    }
    const char* kind = S_ISFIFO(status.st_mode)                             ? "命名管道"
                       : S_ISSOCK(status.st_mode)                           ? "套接字"
                       : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) ? "设备"
                                                                            : "特殊文件";
    throw CenterError::invalid("“" + file.string() + "”是" + kind + "，不是普通文件。");
}

} // namespace

FileDescriptor openRegularFile(const fs::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        throwFileError(FileOperation::Open, file);
    }
    requireRegular(status, file);
    // Replaced by a named pipe since the look, the path still must not block the open.
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) {
        throwFileError(FileOperation::Open, file);
    }
    if (::fstat(fd.get(), &status) != 0) {
        throwFileError(FileOperation::Read, file);
    }
    requireRegular(status, file);
    return fd;
}

std::string readFileContents(const fs::path& file, std::size_t maximumBytes) {
    FileDescriptor fd = openRegularFile(file);
    std::string content;
    std::size_t limit = maximumBytes + 1;
    char buffer[65536];
    while (content.size() < limit) {
        ssize_t count = ::read(fd.get(), buffer, std::min(sizeof buffer, limit - content.size()));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            throwFileError(FileOperation::Read, file);
        }
        if (count == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
    return content;
}

void copyRegularFile(const fs::path& file, const fs::path& copy) {
    static_cast<void>(openRegularFile(file));
    std::error_code error;
    if (fs::copy_file(file, copy, error)) {
        return;
    }
    // A copy cut short by a full disk is no copy at all.
    if (error != std::errc::file_exists) {
        std::error_code ignored;
        fs::remove(copy, ignored);
    }
    throw FileOperationError(FileOperation::Copy, file, error);
}

} // namespace CenterCore
