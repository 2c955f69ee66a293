#pragma once

#include "core/FileDescriptor.h"
#include "transport/DownloadObserver.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

// The SHA-256 of a download's file, computed on a second thread while the file grows: it reads
// back from disk what the download has written, so what it proves is the file on disk, and
// finishes right after the last byte.
class GrowingDigest : public DownloadObserver {
  public:
    GrowingDigest() = default;
    GrowingDigest(const GrowingDigest&) = delete;
    GrowingDigest& operator=(const GrowingDigest&) = delete;
    ~GrowingDigest() override;

    void started(const std::filesystem::path& file, std::int64_t size) override;
    void grew(std::int64_t size) override;

    // The digest of the file's first `size` bytes as 64 lower-case hexadecimal digits, once they
    // are read; throws CenterError::checksum when the file on disk is not exactly that long, and
    // the file system's error when it cannot be read.
    [[nodiscard]] std::string finish(std::int64_t size);

  private:
    void stop();
    void read();

    FileDescriptor input_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t available_ = 0;
    std::int64_t final_ = -1;
    bool stopping_ = false;
    std::int64_t hashed_ = 0;
    std::string digest_;
    std::exception_ptr failure_;
    std::thread reader_;
};
