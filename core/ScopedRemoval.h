#pragma once

#include <filesystem>
#include <system_error>

// Removes a file or folder tree when it goes out of scope, whatever the way out; failures to
// remove are ignored. Used for temporary and staging folders.
class ScopedRemoval {
  public:
    explicit ScopedRemoval(std::filesystem::path path) : path_(std::move(path)) {}
    ScopedRemoval(const ScopedRemoval&) = delete;
    ScopedRemoval& operator=(const ScopedRemoval&) = delete;
    ~ScopedRemoval() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }

    // Keeps the path on disk after all.
    void release() { path_.clear(); }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};
