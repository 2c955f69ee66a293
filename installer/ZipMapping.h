#pragma once

#include <cstddef>
#include <filesystem>
#include <span>

namespace CenterInstaller {

// A read-only memory mapping of a whole package file, so that only the pages holding headers are
// ever read. An empty file maps to no bytes.
class ZipMapping {
  public:
    // Throws std::filesystem::filesystem_error when the file cannot be opened or mapped, or is
    // not a regular file.
    explicit ZipMapping(const std::filesystem::path& file);
    ZipMapping(const ZipMapping&) = delete;
    ZipMapping& operator=(const ZipMapping&) = delete;
    ~ZipMapping();

    [[nodiscard]] std::span<const unsigned char> bytes() const { return {address_, size_}; }

  private:
    const unsigned char* address_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace CenterInstaller
