#pragma once

#include "transport/DownloadFile.h"
#include "transport/DownloadObserver.h"
#include "transport/DownloadResume.h"
#include "transport/DownloadTimeouts.h"
#include "transport/GuardedTransfer.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

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

// One guarded HTTPS download of one address into one new file. Over a GuardedTransfer (HTTPS
// only with verified certificates, no cookies or cache, the identity encoding, every redirect
// vetted, a 2xx status) it adds a byte ceiling and an optional exact size. The body streams into
// a hidden file beside the destination that is renamed into place only when every check has
// passed.
class CenterDownload : private AnswerReceiver {
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
    CenterDownload(const std::filesystem::path& destination, std::int64_t maxBytes,
                   std::optional<std::int64_t> expectedBytes, const Progress& progress,
                   std::stop_token stop, const DownloadTimeouts& timeouts,
                   const DownloadOptions& options);

    std::filesystem::path run(const std::string& url);
    void openFile();
    std::filesystem::path finish();

    void begins(const ResponseHead& head) override;
    void body(std::string_view bytes) override;
    void reportProgress();

    const std::filesystem::path destination_;
    const std::int64_t maxBytes_;
    const std::optional<std::int64_t> expectedBytes_;
    const Progress& progress_;
    const std::stop_token stop_;
    const DownloadTimeouts timeouts_;
    const DownloadOptions options_;
    std::optional<DownloadFile> file_;
    // The Range and If-Range headers that resume an earlier attempt; none for a fresh one.
    std::vector<std::string> resumeHeaders_;
    std::int64_t written_ = 0;
    std::int64_t announcedBytes_ = -1;
    // The validator and offset of the bytes the file holds from an earlier attempt.
    DownloadResume resume_;
};
