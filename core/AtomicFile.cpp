#include "core/AtomicFile.h"

#include "core/Uuid.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace AtomicFile {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const char* what, const fs::path& path, int error = errno) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

// Closes the descriptor on every way out; a close that fails after a write is a failed write.
class OpenFile {
  public:
    OpenFile(const fs::path& path, int flags)
        : path_(path), fd_(::open(path.c_str(), flags, 0644)) {
        if (fd_ < 0) {
            fail("cannot open", path);
        }
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    [[nodiscard]] int get() const { return fd_; }
    void sync() const {
        if (::fsync(fd_) != 0) {
            fail("cannot flush", path_);
        }
    }

  private:
    fs::path path_;
    int fd_;
};

} // namespace

void write(const fs::path& file, std::string_view contents) {
    fs::path temporary = file.parent_path() / ("." + file.filename().string() + "." +
                                               CenterCore::newUUID() + ".partial");
    try {
        {
            OpenFile out(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW);
            for (std::size_t written = 0; written < contents.size();) {
                ssize_t count =
                    ::write(out.get(), contents.data() + written, contents.size() - written);
                if (count < 0 && errno == EINTR) {
                    continue;
                }
                if (count < 0) {
                    fail("cannot write", temporary);
                }
                written += static_cast<std::size_t>(count);
            }
            out.sync();
        }
        fs::rename(temporary, file);
    } catch (...) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
    OpenFile folder(file.parent_path().empty() ? "." : file.parent_path(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    folder.sync();
}

} // namespace AtomicFile
