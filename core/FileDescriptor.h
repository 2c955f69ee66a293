#pragma once

#include <unistd.h>
#include <utility>

// The owner of one open file descriptor: it closes the descriptor when it goes, and only it.
// Empty (-1) when it owns none.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    [[nodiscard]] int get() const noexcept { return fd_; }
    [[nodiscard]] bool valid() const noexcept { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    [[nodiscard]] int release() noexcept { return std::exchange(fd_, -1); }
    // Closes the owned descriptor, ignoring its result, and owns `fd` instead.
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Closes the owned descriptor now, for callers that must know a written file's close
    // succeeded; false with errno set when it failed.
    [[nodiscard]] bool close() noexcept { return ::close(release()) == 0; }

  private:
    int fd_ = -1;
};
