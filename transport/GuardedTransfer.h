#pragma once

#include "core/CHandle.h"
#include "transport/DownloadTimeouts.h"
#include "transport/ExtraAuthorities.h"
#include "transport/ResponseHead.h"

#include <chrono>
#include <curl/curl.h>
#include <exception>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// What a guarded transfer hands the final answer of a request to. Either call may throw to
// refuse the answer: the transfer stops at once and rethrows that error.
class AnswerReceiver {
  public:
    virtual ~AnswerReceiver() = default;
    // The head of the final 2xx answer, once every redirect has been followed.
    virtual void begins(const ResponseHead& head) = 0;
    // The next bytes of its body.
    virtual void body(std::string_view bytes) = 0;
};

// One libcurl easy handle under the rules of the update chain: HTTPS only with verified
// certificates (and the extra authorities of KESTRYN_CA_FILE), no cookies or cache, the identity
// encoding, KESTRYN_CONNECT_TO, every redirect vetted before it is followed, the time-outs, and
// the caller's stop request. Its requests run one after another on the same handle, so they
// reuse its connections.
class GuardedTransfer {
  public:
    // Throws std::filesystem::filesystem_error or TransferError when the extra authorities
    // cannot be read, TransferError when libcurl cannot start.
    GuardedTransfer(std::stop_token stop, const DownloadTimeouts& timeouts);
    GuardedTransfer(const GuardedTransfer&) = delete;
    GuardedTransfer& operator=(const GuardedTransfer&) = delete;

    // GETs `url` with the extra request `headers` (sent to every hop), following vetted
    // redirects, and hands the final answer to `receiver`. Throws what the receiver threw;
    // TransferError for the transfer's own failures, a stop request and time-outs;
    // CenterError::network for a refused redirect or a non-2xx answer; CenterError::invalid for
    // a final address that is not HTTPS.
    void get(const std::string& url, const std::vector<std::string>& headers,
             AnswerReceiver& receiver);

  private:
    using Clock = std::chrono::steady_clock;

    void configure();
    void useHeaders(const std::vector<std::string>& headers);
    // Performs one hop; returns whether it answered with a redirect to follow.
    [[nodiscard]] bool request(const std::string& address);
    [[nodiscard]] Clock::time_point deadline(Clock::time_point requestStart) const;
    void checkFinalAddress();

    [[nodiscard]] bool headerLine(std::string_view line);
    [[nodiscard]] bool headersComplete();
    [[nodiscard]] bool body(std::string_view bytes);

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);

    const std::stop_token stop_;
    const DownloadTimeouts timeouts_;
    const Clock::time_point totalDeadline_;
    const ExtraAuthorities authorities_;
    // Declared in this order so the multi handle goes before the easy handle it served.
    CHandle<curl_easy_cleanup> easy_;
    CHandle<curl_multi_cleanup> multi_;
    CHandle<curl_slist_free_all> headers_;
    CHandle<curl_slist_free_all> connectTo_;
    AnswerReceiver* receiver_ = nullptr;
    // This transfer's own reason to fail, which wins over whatever libcurl reports after it.
    std::exception_ptr failure_;

    // The state of the current hop; a redirect starts a new one.
    ResponseHead head_;
    bool headersDone_ = false;
    bool redirect_ = false;
    Clock::time_point lastActivity_;
};
