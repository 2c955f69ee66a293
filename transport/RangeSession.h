#pragma once

#include "core/LocalizedError.h"
#include "transport/DownloadTimeouts.h"
#include "transport/GuardedTransfer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

// Why a range session cannot deliver the bytes asked for; the caller falls back to the full
// download. what() is the user's sentence.
class RangeError : public LocalizedError {
  public:
    enum class Kind {
        // The server answered a range request with the whole file, or gave no validator that
        // could guard the next one.
        unsupported,
        // The file on the server is no longer the one the first range came from.
        changed,
        // The answer is not exactly the range asked for of a file of the artifact's size.
        mismatched,
        // The range would take the session past its byte budget; nothing was requested.
        overBudget,
    };

    explicit RangeError(Kind kind);

    // Which of the reasons it is.
    [[nodiscard]] Kind kind() const noexcept { return kind_; }

  private:
    Kind kind_;
};

// Single-range GET requests for parts of one artifact at one HTTPS address, one after another
// over one GuardedTransfer, so they share its connections and every rule of the guarded download.
// The first answer's validator (a strong ETag, else Last-Modified) guards every later request
// with If-Range, so a file that changes on the server midway is noticed at the next request.
class RangeSession : private AnswerReceiver {
  public:
    // Receives the bytes of the current range in order, in chunks.
    using Sink = std::function<void(std::span<const std::byte>)>;

    // A session for `url` (already validated by the caller), whose artifact is `totalBytes` long,
    // that may receive at most `budgetBytes` in all; `timeouts.total` bounds the whole session.
    // Sends nothing yet. Throws as GuardedTransfer's constructor.
    RangeSession(std::string url, std::int64_t totalBytes, std::int64_t budgetBytes,
                 std::stop_token stop, const DownloadTimeouts& timeouts = {});

    // Fetches the `length` bytes at `offset` with one request "Range: bytes=FIRST-LAST" and
    // hands them to `sink` as they arrive; on failure the sink may have received part of them.
    // Blocks the calling thread. Throws: std::invalid_argument for a range that is empty or
    // outside the artifact; CancellationError when `stop` was requested before the request;
    // RangeError when the answer is not 206 with exactly this range (told at its head, before its
    // body is read) or the budget would be exceeded; otherwise as GuardedTransfer::get (a refused
    // redirect, a non-2xx answer, the transfer's failures, a stop midway); and whatever the sink
    // throws.
    void fetch(std::int64_t offset, std::int64_t length, const Sink& sink);

    // The body bytes received so far, over every request.
    [[nodiscard]] std::int64_t fetchedBytes() const { return fetched_; }

  private:
    void begins(const ResponseHead& head) override;
    void body(std::string_view bytes) override;

    const std::string url_;
    const std::int64_t totalBytes_;
    const std::int64_t budgetBytes_;
    const std::stop_token stop_;
    GuardedTransfer transfer_;
    // The first answer's validator; empty before it.
    std::string validator_;
    std::int64_t fetched_ = 0;

    // The current request.
    std::int64_t offset_ = 0;
    std::int64_t length_ = 0;
    std::int64_t received_ = 0;
    const Sink* sink_ = nullptr;
};
