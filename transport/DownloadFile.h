#pragma once

#include "core/FileDescriptor.h"
#include "core/FileOperationError.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

// The file a download streams into: a fresh hidden file beside its destination, or the
// resumable partial file of an artifact. It is moved into place only by `moveTo`; on every
// other way out a fresh file is removed, and so is a partial one unless `keep` was called.
// File-system failures throw CenterCore::FileOperationError.
class DownloadFile {
  public:
    // Receives the number of bytes on disk after each write.
    using Flushed = std::function<void(std::int64_t)>;

    // A new hidden file beside `destination`.
    explicit DownloadFile(const std::filesystem::path& destination);
    // The partial file at `partial`, with what an earlier attempt left in it. Another download
    // of the same file in this moment gets a fresh hidden file beside it instead.
    DownloadFile(const std::filesystem::path& partial, bool resumable);
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;
    ~DownloadFile();

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    // Whether the file may outlive this attempt.
    [[nodiscard]] bool resumable() const { return resumable_; }
    // The bytes written so far, those still buffered included.
    [[nodiscard]] std::int64_t size() const {
        return onDisk_ + static_cast<std::int64_t>(buffer_.size());
    }
    void onFlushed(Flushed flushed) { flushed_ = std::move(flushed); }

    // Empties the file, to start over.
    void restart();
    // Appends bytes through a fixed buffer, so memory does not grow with the file.
    void append(std::string_view bytes);
    // Flushes and closes the file; the size it has on disk.
    [[nodiscard]] std::int64_t finish();
    // Renames the finished file to `destination`; fails rather than replace an existing file.
    void moveTo(const std::filesystem::path& destination);
    // Flushes and keeps the file for a later attempt.
    void keep();

  private:
    void flush();
    void writeAll(std::string_view bytes);
    [[noreturn]] void fail(CenterCore::FileOperation operation) const;

    std::filesystem::path path_;
    FileDescriptor descriptor_;
    bool resumable_ = false;
    bool moved_ = false;
    bool kept_ = false;
    std::int64_t onDisk_ = 0;
    std::vector<char> buffer_;
    Flushed flushed_;
};
