#pragma once

#include <cstddef>
#include <filesystem>
#include <span>

namespace CenterCore {

// A read-only memory mapping of a whole file, so that only the pages a reader touches are ever
// read and large files stay out of the heap. An empty file maps to no bytes.
class FileMapping {
  public:
    // Throws std::filesystem::filesystem_error when the file cannot be opened or mapped, or is
    // not a regular file.
    explicit FileMapping(const std::filesystem::path& file);
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;
    ~FileMapping();

    [[nodiscard]] std::span<const unsigned char> bytes() const { return {address_, size_}; }

    // Drops the whole pages of `part` from the process's memory once a reader is done with them,
    // so that walking a large package leaves the process as small as it started. The bytes stay
    // readable: a later read maps them again from the file. A part outside the mapping is left
    // alone.
    void release(std::span<const unsigned char> part) const;

  private:
    const unsigned char* address_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace CenterCore
