#include "installer/BundleCopy.h"

#include "core/CHandle.h"
#include "core/CancellationError.h"
#include "core/FileDescriptor.h"
#include "core/FileOperationError.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <linux/fs.h>
#include <mutex>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace CenterInstaller {
namespace {

namespace fs = std::filesystem;

using CenterCore::FileOperation;
using CenterCore::throwFileError;

void check(long result, const fs::path& path, FileOperation operation) {
    if (result < 0) {
        throwFileError(operation, path);
    }
}

// Attributes that only the system may set (security., trusted.) are carried over where
// allowed and otherwise left behind; the user's own must arrive.
bool mustCopyAttribute(const std::string& name) {
    return name.starts_with("user.");
}

void copyAttributes(int from, int to, const fs::path& path) {
    std::vector<char> names(4096);
    ssize_t length = 0;
    while ((length = ::flistxattr(from, names.data(), names.size())) < 0 && errno == ERANGE) {
        names.resize(names.size() * 4);
    }
    if (length < 0) {
        if (errno == ENOTSUP) {
            return;
        }
        throwFileError(FileOperation::List, path);
    }
    std::vector<char> value;
    for (ssize_t at = 0; at < length;) {
        std::string name(names.data() + at);
        at += static_cast<ssize_t>(name.size()) + 1;
        ssize_t size = ::fgetxattr(from, name.c_str(), nullptr, 0);
        check(size, path, FileOperation::Read);
        value.resize(static_cast<std::size_t>(size));
        size = ::fgetxattr(from, name.c_str(), value.data(), value.size());
        check(size, path, FileOperation::Read);
        if (::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(size), 0) < 0 &&
            mustCopyAttribute(name)) {
            throwFileError(FileOperation::Write, path);
        }
    }
}

void copyTimes(int to, const struct stat& status, const fs::path& path) {
    const timespec times[2] = {status.st_atim, status.st_mtim};
    check(::futimens(to, times), path, FileOperation::Change);
}

// Data copy inside the kernel: a clone where the file system shares extents, otherwise
// copy_file_range, and plain reads and writes where neither is possible (other file systems).
void copyData(int from, int to, off_t size, const fs::path& path) {
    if (size == 0 || ::ioctl(to, FICLONE, from) == 0) {
        return;
    }
    off_t copied = 0;
    while (copied < size) {
        ssize_t count = ::copy_file_range(from, nullptr, to, nullptr,
                                          static_cast<std::size_t>(size - copied), 0);
        if (count > 0) {
            copied += count;
            continue;
        }
        if (count == 0) {
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        if (copied == 0 &&
            (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            break;
        }
        throwFileError(FileOperation::Copy, path);
    }
    // A file that grew, or a kernel that would not copy: finish with ordinary reads.
    std::vector<char> buffer(1 << 20);
    for (;;) {
        ssize_t count = ::pread(from, buffer.data(), buffer.size(), copied);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        check(count, path, FileOperation::Read);
        if (count == 0) {
            return;
        }
        for (ssize_t written = 0; written < count;) {
            ssize_t done = ::pwrite(to, buffer.data() + written,
                                    static_cast<std::size_t>(count - written), copied + written);
            if (done < 0 && errno == EINTR) {
                continue;
            }
            check(done, path, FileOperation::Write);
            written += done;
        }
        copied += count;
    }
}

void copyFile(int fromFolder, int toFolder, const char* name, const struct stat& status,
              const fs::path& path) {
    FileDescriptor from(::openat(fromFolder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    check(from.get(), path, FileOperation::Open);
    FileDescriptor to(::openat(toFolder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                               S_IRUSR | S_IWUSR));
    check(to.get(), path, FileOperation::Create);
    copyData(from.get(), to.get(), status.st_size, path);
    copyAttributes(from.get(), to.get(), path);
    check(::fchmod(to.get(), status.st_mode & 07777), path, FileOperation::Change);
    copyTimes(to.get(), status, path);
}

void copyLink(int fromFolder, int toFolder, const char* name, const struct stat& status,
              const fs::path& path) {
    std::vector<char> target(static_cast<std::size_t>(status.st_size) + 1);
    ssize_t length = ::readlinkat(fromFolder, name, target.data(), target.size());
    check(length, path, FileOperation::Read);
    if (static_cast<std::size_t>(length) >= target.size()) {
        throwFileError(FileOperation::Copy, path, EAGAIN);
    }
    target[static_cast<std::size_t>(length)] = '\0';
    check(::symlinkat(target.data(), toFolder, name), path, FileOperation::Create);
    const timespec times[2] = {status.st_atim, status.st_mtim};
    check(::utimensat(toFolder, name, times, AT_SYMLINK_NOFOLLOW), path, FileOperation::Change);
}

void copyFolder(int from, int to, const fs::path& path, const std::stop_token& stop);

// One regular file of a folder, copied by whichever worker takes it first.
struct FileCopy {
    std::string name;
    struct stat status;
};

std::size_t copyWorkers() {
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
}

// Copies a folder's files on several threads: the kernel's data copy is bound by one core each.
// The first failure stops the others and is thrown.
void copyFiles(int fromFolder, int toFolder, const std::vector<FileCopy>& files,
               const fs::path& path, const std::stop_token& stop) {
    std::atomic<std::size_t> next{0};
    std::mutex failureLock;
    std::exception_ptr failure;
    auto work = [&] {
        for (std::size_t index = next++; index < files.size(); index = next++) {
            const FileCopy& file = files[index];
            try {
                if (stop.stop_requested()) {
                    throw CancellationError();
                }
                copyFile(fromFolder, toFolder, file.name.c_str(), file.status, path / file.name);
            } catch (...) {
                std::lock_guard<std::mutex> hold(failureLock);
                if (!failure) {
                    failure = std::current_exception();
                }
                next = files.size();
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (std::size_t i = 1; i < std::min(files.size(), copyWorkers()); ++i) {
            helpers.emplace_back(work);
        }
        work();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void copyEntry(int fromFolder, int toFolder, const char* name, const struct stat& status,
               const fs::path& path, const std::stop_token& stop) {
    switch (status.st_mode & S_IFMT) {
    case S_IFLNK:
        copyLink(fromFolder, toFolder, name, status, path);
        return;
    case S_IFIFO:
        check(::mkfifoat(toFolder, name, status.st_mode & 07777), path, FileOperation::Create);
        return;
    case S_IFDIR: {
        FileDescriptor from(
            ::openat(fromFolder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        check(from.get(), path, FileOperation::Open);
        check(::mkdirat(toFolder, name, S_IRWXU), path, FileOperation::Create);
        FileDescriptor to(
            ::openat(toFolder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        check(to.get(), path, FileOperation::Open);
        copyFolder(from.get(), to.get(), path, stop);
        check(::fchmod(to.get(), status.st_mode & 07777), path, FileOperation::Change);
        copyTimes(to.get(), status, path);
        return;
    }
    default:
        throwFileError(FileOperation::Copy, path, ENOTSUP);
    }
}

// Copies the entries and attributes of one folder; the caller sets its mode and times last,
// because adding entries changes them and a read-only mode would forbid it.
void copyFolder(int from, int to, const fs::path& path, const std::stop_token& stop) {
    FileDescriptor listing(::dup(from));
    check(listing.get(), path, FileOperation::List);
    CHandle<closedir> folder(::fdopendir(listing.get()));
    if (!folder) {
        throwFileError(FileOperation::List, path);
    }
    // The folder stream closes the duplicate from now on.
    static_cast<void>(listing.release());
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(folder.get())) {
        std::string name(entry->d_name);
        if (name != "." && name != "..") {
            names.push_back(std::move(name));
        }
    }
    if (errno != 0) {
        throwFileError(FileOperation::List, path);
    }
    std::vector<FileCopy> files;
    for (const std::string& name : names) {
        struct stat status {};
        check(::fstatat(from, name.c_str(), &status, AT_SYMLINK_NOFOLLOW), path / name,
              FileOperation::Inspect);
        if (S_ISREG(status.st_mode)) {
            files.push_back({name, status});
        } else {
            copyEntry(from, to, name.c_str(), status, path / name, stop);
        }
    }
    copyFiles(from, to, files, path, stop);
    copyAttributes(from, to, path);
}

} // namespace

void copyBundle(const fs::path& from, const fs::path& to, std::stop_token stop) {
    fs::path fromParent = from.parent_path().empty() ? "." : from.parent_path();
    fs::path toParent = to.parent_path().empty() ? "." : to.parent_path();
    FileDescriptor fromFolder(::open(fromParent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    check(fromFolder.get(), fromParent, FileOperation::Open);
    FileDescriptor toFolder(::open(toParent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    check(toFolder.get(), toParent, FileOperation::Open);

    struct stat status {};
    check(::fstatat(fromFolder.get(), from.filename().c_str(), &status, AT_SYMLINK_NOFOLLOW), from,
          FileOperation::Inspect);
    if (!S_ISDIR(status.st_mode)) {
        throwFileError(FileOperation::Inspect, from, ENOTDIR);
    }
    FileDescriptor source(::openat(fromFolder.get(), from.filename().c_str(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    check(source.get(), from, FileOperation::Open);
    check(::mkdirat(toFolder.get(), to.filename().c_str(), S_IRWXU), to, FileOperation::Create);
    FileDescriptor target(::openat(toFolder.get(), to.filename().c_str(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    check(target.get(), to, FileOperation::Open);
    copyFolder(source.get(), target.get(), from, stop);
    check(::fchmod(target.get(), status.st_mode & 07777), to, FileOperation::Change);
    copyTimes(target.get(), status, to);
}

} // namespace CenterInstaller
