#pragma once

#include "core/FileDescriptor.h"

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

// The hidden file a download streams into, beside its destination. It is moved into place only
// by `moveTo`; on every other way out it is removed. File-system failures throw
// std::filesystem::filesystem_error.
class DownloadFile {
  public:
    explicit DownloadFile(const std::filesystem::path& destination);
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;
    ~DownloadFile();

    // Appends bytes through a fixed buffer, so memory does not grow with the file.
    void append(std::string_view bytes);
    // Flushes and closes the file; the size it has on disk.
    [[nodiscard]] std::int64_t finish();
    // Renames the finished file to `destination`; fails rather than replace an existing file.
    void moveTo(const std::filesystem::path& destination);

  private:
    void flush();
    void writeAll(std::string_view bytes);
    [[noreturn]] void fail(const char* what) const;

    std::filesystem::path path_;
    FileDescriptor descriptor_;
    bool moved_ = false;
    std::vector<char> buffer_;
};
