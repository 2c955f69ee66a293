#pragma once

#include "core/CHandle.h"
#include "transport/DownloadFile.h"
#include "transport/DownloadObserver.h"
#include "transport/DownloadResume.h"
#include "transport/DownloadTimeouts.h"

#include <chrono>
#include <cstdint>
#include <curl/curl.h>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

class ExtraAuthorities;

// What an artifact download adds to a plain one.
struct DownloadOptions {
    // Where the body stays when the transfer ends early (cut, timed out, stopped), with the
    // server's validator (ETag or Last-Modified) beside it in "<file>.validator"; the next
    // download to the same file resumes it with a range request guarded by If-Range. Empty: a
    // fresh hidden file, removed on failure.
    std::filesystem::path partialFile;
    // Watches the file grow on disk; none when empty.
    DownloadObserver* observer = nullptr;
};

// One guarded HTTPS download of one address into one new file. While the bytes arrive it
// enforces the rules of the update chain: HTTPS only with verified certificates, no cookies
// or cache, the identity encoding, every redirect vetted before it is followed, a byte ceiling,
// an optional exact size, a 2xx status. The body streams into a hidden file beside the
// destination that is renamed into place only when every check has passed.
class CenterDownload {
  public:
    // Receives the fraction done: below 1.0 while bytes arrive, then 1.0 once before success.
    using Progress = std::function<void(double)>;

    // Downloads `url` (already validated by the caller) to `destination`, which must not
    // exist yet, and returns `destination`. Blocks the calling thread. Throws:
    // CancellationError when `stop` was requested before the start, without any request;
    // TransferError for the transfer's own failures, a stop request midway and time-outs;
    // CenterError::network for a refused redirect, an oversize body or a non-2xx answer;
    // CenterError::invalid for a final address that is not HTTPS; CenterError::checksum for
    // a finished file above `maxBytes` or different from `expectedBytes`;
    // std::filesystem::filesystem_error for the file system. Nothing is left on failure.
    [[nodiscard]] static std::filesystem::path
    perform(const std::string& url, const std::filesystem::path& destination, std::int64_t maxBytes,
            std::optional<std::int64_t> expectedBytes, const Progress& progress,
            std::stop_token stop, const DownloadTimeouts& timeouts = {},
            const DownloadOptions& options = {});

  private:
    using Clock = std::chrono::steady_clock;

    CenterDownload(const std::filesystem::path& destination, std::int64_t maxBytes,
                   std::optional<std::int64_t> expectedBytes, const Progress& progress,
                   std::stop_token stop, const DownloadTimeouts& timeouts,
                   const DownloadOptions& options);

    std::filesystem::path run(const std::string& url);
    void openFile();
    std::filesystem::path transferAll(const std::string& url);
    [[nodiscard]] bool bodyBegins();
    void configure(const ExtraAuthorities& authorities);
    void transfer(const std::string& address);
    [[nodiscard]] Clock::time_point deadline(Clock::time_point requestStart) const;
    std::filesystem::path finish();

    [[nodiscard]] bool headerLine(std::string_view line);
    [[nodiscard]] bool headersComplete();
    [[nodiscard]] bool body(std::string_view bytes);
    void reportProgress();

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);

    const std::filesystem::path destination_;
    const std::int64_t maxBytes_;
    const std::optional<std::int64_t> expectedBytes_;
    const Progress& progress_;
    const std::stop_token stop_;
    const DownloadTimeouts timeouts_;
    const DownloadOptions options_;
    Clock::time_point totalDeadline_;
    std::optional<DownloadFile> file_;
    // Declared in this order so the multi handle goes before the easy handle it served.
    CHandle<curl_easy_cleanup> easy_;
    CHandle<curl_multi_cleanup> multi_;
    CHandle<curl_slist_free_all> headers_;
    CHandle<curl_slist_free_all> connectTo_;
    std::int64_t written_ = 0;
    // This download's own reason to fail, which wins over whatever libcurl reports after it.
    std::exception_ptr failure_;
    // The validator and offset of the bytes the file holds from an earlier attempt.
    DownloadResume resume_;

    // The state of the current request; a redirect starts a new one.
    long status_ = 0;
    bool headersDone_ = false;
    std::int64_t announcedBytes_ = -1;
    bool chunked_ = false;
    std::string location_;
    std::string etag_;
    std::string lastModified_;
    std::string contentRange_;
    bool redirect_ = false;
    Clock::time_point lastActivity_;
};
