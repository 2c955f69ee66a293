#include "transport/GuardedTransfer.h"

#include "core/CenterError.h"
#include "core/Validation.h"
#include "transport/ConnectTo.h"
#include "transport/TransferError.h"

#include <algorithm>

namespace {

constexpr int maximumRedirects = 10;
// libcurl's largest receive buffer: fewer, larger writes to the receiver.
constexpr long receiveBufferBytes = 512 * 1024;

const char* const unsafeRedirect = "更新服务器尝试跳转到不安全的地址。";
const char* const invalidResponse = "服务器未返回有效的更新文件。";

[[noreturn]] void failWith(CURLcode code) {
    throw TransferError(code, std::string_view());
}

void initialiseOnce() {
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (result != CURLE_OK) {
        failWith(result);
    }
}

template <typename Value> void set(CURL* easy, CURLoption option, Value value) {
    CURLcode result = curl_easy_setopt(easy, option, value);
    if (result != CURLE_OK) {
        failWith(result);
    }
}

void check(CURLMcode result) {
    if (result != CURLM_OK) {
        throw TransferError(result == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT,
                            std::string_view());
    }
}

bool isRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The absolute address a Location header points to, resolved against the current address
// exactly as libcurl would, then held to the HTTPS rules.
std::string redirectTarget(const std::string& current, const std::string& location) {
    CHandle<curl_url_cleanup> url(curl_url());
    char* resolved = nullptr;
    if (!url || curl_url_set(url.get(), CURLUPART_URL, current.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_URL, location.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
            CURLUE_OK ||
        curl_url_get(url.get(), CURLUPART_URL, &resolved, 0) != CURLUE_OK) {
        throw CenterError::network(unsafeRedirect);
    }
    std::string target(resolved);
    curl_free(resolved);
    try {
        CenterCore::validateHTTPS(target);
    } catch (const CenterError&) {
        throw CenterError::network(unsafeRedirect);
    }
    return target;
}

CURLcode addAuthorities(CURL*, void* context, void* authorities) {
    static_cast<const ExtraAuthorities*>(authorities)->addTo(static_cast<SSL_CTX*>(context));
    return CURLE_OK;
}

ExtraAuthorities initialisedAuthorities() {
    initialiseOnce();
    return ExtraAuthorities::fromEnvironment();
}

} // namespace

GuardedTransfer::GuardedTransfer(std::stop_token stop, const DownloadTimeouts& timeouts)
    : stop_(std::move(stop)), timeouts_(timeouts), totalDeadline_(Clock::now() + timeouts.total),
      authorities_(initialisedAuthorities()), easy_(curl_easy_init()), multi_(curl_multi_init()) {
    if (!easy_ || !multi_) {
        failWith(CURLE_OUT_OF_MEMORY);
    }
    configure();
}

void GuardedTransfer::configure() {
    CURL* easy = easy_.get();
    set(easy, CURLOPT_NOSIGNAL, 1L);
    set(easy, CURLOPT_PROTOCOLS_STR, "https");
    set(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    // Redirects are followed here, one vetted hop at a time, never by libcurl.
    set(easy, CURLOPT_FOLLOWLOCATION, 0L);
    set(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    set(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    set(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    // A proxy's CONNECT answer is not the server's: only the server's headers are judged.
    set(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(easy, CURLOPT_BUFFERSIZE, receiveBufferBytes);
    set(easy, CURLOPT_USERAGENT, "KestrynCenter/1.0");
    // Kept on the handle, so every hop of a redirect goes through the same mapping.
    connectTo_ = ConnectTo::fromEnvironment();
    if (connectTo_) {
        set(easy, CURLOPT_CONNECT_TO, connectTo_.get());
    }
    set(easy, CURLOPT_HEADERFUNCTION, &GuardedTransfer::onHeader);
    set(easy, CURLOPT_HEADERDATA, this);
    set(easy, CURLOPT_WRITEFUNCTION, &GuardedTransfer::onBody);
    set(easy, CURLOPT_WRITEDATA, this);
    if (!authorities_.empty()) {
        set(easy, CURLOPT_SSL_CTX_FUNCTION, &addAuthorities);
        set(easy, CURLOPT_SSL_CTX_DATA, &authorities_);
    }
}

void GuardedTransfer::useHeaders(const std::vector<std::string>& headers) {
    CHandle<curl_slist_free_all> list;
    auto append = [&list](const std::string& line) {
        curl_slist* longer = curl_slist_append(list.get(), line.c_str());
        if (longer == nullptr) {
            failWith(CURLE_OUT_OF_MEMORY);
        }
        static_cast<void>(list.release());
        list.reset(longer);
    };
    append("Accept-Encoding: identity");
    std::for_each(headers.begin(), headers.end(), append);
    set(easy_.get(), CURLOPT_HTTPHEADER, list.get());
    headers_ = std::move(list);
}

void GuardedTransfer::get(const std::string& url, const std::vector<std::string>& headers,
                          AnswerReceiver& receiver) {
    useHeaders(headers);
    receiver_ = &receiver;
    // A stop request wakes the transfer loop at once, whatever it is waiting for.
    std::stop_callback wake(stop_, [multi = multi_.get()] { curl_multi_wakeup(multi); });
    std::string address = url;
    for (int redirects = 0; request(address); ++redirects) {
        if (redirects == maximumRedirects) {
            failWith(CURLE_TOO_MANY_REDIRECTS);
        }
        address = redirectTarget(address, head_.location);
    }
    checkFinalAddress();
}

bool GuardedTransfer::request(const std::string& address) {
    head_ = ResponseHead();
    headersDone_ = false;
    redirect_ = false;
    failure_ = nullptr;
    set(easy_.get(), CURLOPT_URL, address.c_str());

    struct Attachment {
        CURLM* multi;
        CURL* easy;
        ~Attachment() { curl_multi_remove_handle(multi, easy); }
    };
    check(curl_multi_add_handle(multi_.get(), easy_.get()));
    Attachment attachment{multi_.get(), easy_.get()};

    const Clock::time_point start = Clock::now();
    lastActivity_ = start;
    CURLcode result = CURLE_OK;
    for (;;) {
        if (stop_.stop_requested()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        int running = 0;
        check(curl_multi_perform(multi_.get(), &running));
        int queued = 0;
        if (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued);
            message != nullptr && message->msg == CURLMSG_DONE) {
            result = message->data.result;
            break;
        }
        Clock::time_point now = Clock::now();
        Clock::time_point limit = deadline(start);
        if (now >= limit) {
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(limit - now).count();
        check(curl_multi_poll(multi_.get(), nullptr, 0,
                              static_cast<int>(std::min<decltype(wait)>(wait, 1000)), nullptr));
    }

    if (failure_) {
        std::rethrow_exception(failure_);
    }
    if (redirect_) {
        return true;
    }
    if (result != CURLE_OK && stop_.stop_requested()) {
        throw TransferError(CURLE_ABORTED_BY_CALLBACK, address);
    }
    if (result != CURLE_OK) {
        throw TransferError(result, address, head_.status);
    }
    return false;
}

GuardedTransfer::Clock::time_point GuardedTransfer::deadline(Clock::time_point requestStart) const {
    Clock::time_point phase =
        headersDone_ ? lastActivity_ + timeouts_.idle : requestStart + timeouts_.request;
    return std::min(phase, totalDeadline_);
}

void GuardedTransfer::checkFinalAddress() {
    if (head_.status < 200 || head_.status > 299) {
        throw CenterError::network(invalidResponse);
    }
    char* finalAddress = nullptr;
    if (curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &finalAddress) != CURLE_OK ||
        finalAddress == nullptr) {
        throw CenterError::network(invalidResponse);
    }
    CenterCore::validateHTTPS(finalAddress);
}

bool GuardedTransfer::headerLine(std::string_view line) {
    lastActivity_ = Clock::now();
    return !head_.add(line) || headersComplete();
}

bool GuardedTransfer::headersComplete() {
    long status = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status >= 100 && status < 200) {
        return true;
    }
    head_.status = status;
    headersDone_ = true;
    if (isRedirectStatus(status) && !head_.location.empty()) {
        // The redirect's own body is of no use: stop here and follow it once it is vetted.
        redirect_ = true;
        return false;
    }
    if (status < 200 || status > 299) {
        throw CenterError::network(invalidResponse);
    }
    receiver_->begins(head_);
    return true;
}

bool GuardedTransfer::body(std::string_view bytes) {
    if (!headersDone_ || redirect_ || stop_.stop_requested()) {
        return false;
    }
    lastActivity_ = Clock::now();
    receiver_->body(bytes);
    return true;
}

std::size_t GuardedTransfer::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<GuardedTransfer*>(self);
    try {
        return transfer->headerLine({data, size * count}) ? size * count : 0;
    } catch (...) {
        transfer->failure_ = std::current_exception();
        return 0;
    }
}

std::size_t GuardedTransfer::onBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<GuardedTransfer*>(self);
    try {
        return transfer->body({data, size * count}) ? size * count : CURL_WRITEFUNC_ERROR;
    } catch (...) {
        transfer->failure_ = std::current_exception();
        return CURL_WRITEFUNC_ERROR;
    }
}
