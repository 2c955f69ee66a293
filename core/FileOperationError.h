#pragma once

#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace CenterCore {

// What the program was doing with a file or folder when the system refused. The last five tell
// the user the same (访问) and differ only in their English what(), which no user reads.
enum class FileOperation {
    Open,
    Read,
    Write,
    Create,
    Remove,
    Move,
    Copy,
    Inspect, // finding out what an item is: its kind, its size, where it leads
    List,    // reading a folder's entries or an item's extended attribute names
    Lock,
    Change, // setting an item's mode, times or length
    Flush,  // bringing what was written to the disk
};

// A file-system failure of the program's own steps, carrying what it was doing. Still a
// std::filesystem::filesystem_error, so every caller that catches those catches it.
class FileOperationError : public std::filesystem::filesystem_error {
  public:
    FileOperationError(FileOperation operation, std::error_code code);
    FileOperationError(FileOperation operation, const std::filesystem::path& path,
                       std::error_code code);
    // A move or a copy, from `path` to `target`.
    FileOperationError(FileOperation operation, const std::filesystem::path& path,
                       const std::filesystem::path& target, std::error_code code);

    [[nodiscard]] FileOperation operation() const noexcept { return operation_; }
    // The verb of the user's sentence: 打开, 读取, 写入, 创建, 删除, 移动, 复制 or 访问.
    [[nodiscard]] std::string_view verb() const noexcept;

  private:
    FileOperation operation_;
};

// Throws the failure of `operation` on `path` for the system's error number.
[[noreturn]] void throwFileError(FileOperation operation, const std::filesystem::path& path,
                                 int error = errno);

} // namespace CenterCore
