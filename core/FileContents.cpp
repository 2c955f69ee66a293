#include "core/FileContents.h"

#include "core/CenterError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace CenterCore {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const char* what, const fs::path& file, int error = errno) {
    throw fs::filesystem_error(what, file, std::error_code(error, std::generic_category()));
}

// Refuses whatever is not a regular file, by what it is.
void requireRegular(const struct stat& status, const fs::path& file) {
    if (S_ISREG(status.st_mode)) {
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        fail("cannot read file", file, EISDIR);
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
        fail("cannot open file", file);
    }
    requireRegular(status, file);
    // Replaced by a named pipe since the look, the path still must not block the open.
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) {
        fail("cannot open file", file);
    }
    if (::fstat(fd.get(), &status) != 0) {
        fail("cannot read file", file);
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
            fail("cannot read file", file);
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
    try {
        fs::copy_file(file, copy);
    } catch (const fs::filesystem_error& failure) {
        // A copy cut short by a full disk is no copy at all.
        if (failure.code() != std::errc::file_exists) {
            std::error_code ignored;
            fs::remove(copy, ignored);
        }
        throw fs::filesystem_error("cannot copy file", file, failure.code());
    }
}

} // namespace CenterCore
