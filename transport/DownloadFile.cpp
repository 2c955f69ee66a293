#include "transport/DownloadFile.h"

#include "core/Uuid.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

// Large enough that a gigabyte takes a few thousand writes, small enough to stay in a core's
// cache: writes of 1 MiB copied into the page cache at a third of the speed.
constexpr std::size_t bufferBytes = 256 * 1024;

std::filesystem::path freshName(const std::filesystem::path& destination) {
    return destination.parent_path() / (".kestryn-download-" + CenterCore::newUUID());
}

} // namespace

DownloadFile::DownloadFile(const std::filesystem::path& destination)
    : path_(freshName(destination)) {
    descriptor_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!descriptor_.valid()) {
        fail(CenterCore::FileOperation::Create);
    }
    buffer_.reserve(bufferBytes);
}

DownloadFile::DownloadFile(const std::filesystem::path& partial, bool resumable)
    : path_(partial), resumable_(resumable) {
    descriptor_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!descriptor_.valid()) {
        fail(CenterCore::FileOperation::Open);
    }
    // Held for the whole attempt: two downloads of one artifact never write the same file.
    if (::flock(descriptor_.get(), LOCK_EX | LOCK_NB) != 0) {
        path_ = freshName(partial);
        resumable_ = false;
        descriptor_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (!descriptor_.valid()) {
            fail(CenterCore::FileOperation::Create);
        }
    }
    struct stat status {};
    if (::fstat(descriptor_.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        fail(CenterCore::FileOperation::Inspect);
    }
    onDisk_ = status.st_size;
    if (::lseek(descriptor_.get(), 0, SEEK_END) < 0) {
        fail(CenterCore::FileOperation::Inspect);
    }
    buffer_.reserve(bufferBytes);
}

DownloadFile::~DownloadFile() {
    descriptor_.reset();
    if (!moved_ && !kept_) {
        ::unlink(path_.c_str());
    }
}

void DownloadFile::restart() {
    buffer_.clear();
    if (onDisk_ == 0) {
        // Already empty. Truncating anyway would make ext4 write the whole file out when it is
        // closed, as it does for a file rewritten in place.
        return;
    }
    if (::ftruncate(descriptor_.get(), 0) != 0 || ::lseek(descriptor_.get(), 0, SEEK_SET) != 0) {
        fail(CenterCore::FileOperation::Change);
    }
    onDisk_ = 0;
}

void DownloadFile::append(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > bufferBytes) {
        flush();
    }
    if (bytes.size() >= bufferBytes) {
        writeAll(bytes);
        return;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::int64_t DownloadFile::finish() {
    flush();
    struct stat status {};
    if (::fstat(descriptor_.get(), &status) != 0) {
        fail(CenterCore::FileOperation::Inspect);
    }
    if (!descriptor_.close()) {
        fail(CenterCore::FileOperation::Write);
    }
    return status.st_size;
}

void DownloadFile::moveTo(const std::filesystem::path& destination) {
    if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) ==
        0) {
        moved_ = true;
        return;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        throw CenterCore::FileOperationError(CenterCore::FileOperation::Move, path_, destination,
                                             std::error_code(errno, std::generic_category()));
    }
    // File systems without an exclusive rename still refuse to link over an existing name.
    if (::link(path_.c_str(), destination.c_str()) != 0) {
        throw CenterCore::FileOperationError(CenterCore::FileOperation::Move, path_, destination,
                                             std::error_code(errno, std::generic_category()));
    }
    ::unlink(path_.c_str());
    moved_ = true;
}

void DownloadFile::keep() {
    flush();
    kept_ = true;
}

void DownloadFile::flush() {
    writeAll({buffer_.data(), buffer_.size()});
    buffer_.clear();
}

void DownloadFile::writeAll(std::string_view bytes) {
    if (bytes.empty()) {
        return;
    }
    while (!bytes.empty()) {
        ssize_t count = ::write(descriptor_.get(), bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            fail(CenterCore::FileOperation::Write);
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
        onDisk_ += count;
    }
    if (flushed_) {
        flushed_(onDisk_);
    }
}

void DownloadFile::fail(CenterCore::FileOperation operation) const {
    CenterCore::throwFileError(operation, path_);
}
