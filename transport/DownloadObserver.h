#pragma once

#include <cstdint>
#include <filesystem>

// Watches the file of a download as it grows on disk. Called on the downloading thread.
class DownloadObserver {
  public:
    virtual ~DownloadObserver() = default;
    // The body of the final answer begins; the file holds `size` bytes on disk already (kept
    // from an earlier attempt when the answer resumes it). May come again to start over.
    virtual void started(const std::filesystem::path& file, std::int64_t size) = 0;
    // The file now holds `size` bytes on disk.
    virtual void grew(std::int64_t size) = 0;
};
