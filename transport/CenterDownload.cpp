#include "transport/CenterDownload.h"

#include "core/CancellationError.h"
#include "core/CenterError.h"
#include "core/Validation.h"
#include "transport/ConnectTo.h"
#include "transport/ExtraAuthorities.h"
#include "transport/TransferError.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace {

constexpr int maximumRedirects = 10;
// libcurl's largest receive buffer: fewer, larger writes to the download file.
constexpr long receiveBufferBytes = 512 * 1024;

const char* const unsafeRedirect = "更新服务器尝试跳转到不安全的地址。";
const char* const oversize = "下载内容超过发布清单允许的大小。";
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

bool startsWithName(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':') {
        return false;
    }
    return std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
        return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
    });
}

std::string_view headerValue(std::string_view line) {
    line.remove_prefix(line.find(':') + 1);
    std::size_t first = line.find_first_not_of(" \t");
    std::size_t last = line.find_last_not_of(" \t\r\n");
    return first == std::string_view::npos ? std::string_view()
                                           : line.substr(first, last - first + 1);
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

} // namespace

std::filesystem::path
CenterDownload::perform(const std::string& url, const std::filesystem::path& destination,
                        std::int64_t maxBytes, std::optional<std::int64_t> expectedBytes,
                        const Progress& progress, std::stop_token stop,
                        const DownloadTimeouts& timeouts, const DownloadOptions& options) {
    if (stop.stop_requested()) {
        throw CancellationError();
    }
    CenterDownload download(destination, maxBytes, expectedBytes, progress, stop, timeouts,
                            options);
    return download.run(url);
}

CenterDownload::CenterDownload(const std::filesystem::path& destination, std::int64_t maxBytes,
                               std::optional<std::int64_t> expectedBytes, const Progress& progress,
                               std::stop_token stop, const DownloadTimeouts& timeouts,
                               const DownloadOptions& options)
    : destination_(destination), maxBytes_(maxBytes), expectedBytes_(expectedBytes),
      progress_(progress), stop_(std::move(stop)), timeouts_(timeouts), options_(options),
      totalDeadline_(Clock::now() + timeouts.total) {}

std::filesystem::path CenterDownload::run(const std::string& url) {
    initialiseOnce();
    const ExtraAuthorities authorities = ExtraAuthorities::fromEnvironment();
    openFile();
    easy_.reset(curl_easy_init());
    multi_.reset(curl_multi_init());
    if (!easy_ || !multi_) {
        failWith(CURLE_OUT_OF_MEMORY);
    }
    configure(authorities);
    // A stop request wakes the transfer loop at once, whatever it is waiting for.
    std::stop_callback wake(stop_, [multi = multi_.get()] { curl_multi_wakeup(multi); });
    try {
        return transferAll(url);
    } catch (const TransferError&) {
        // Ended early: the bytes so far stay for the next attempt.
        resume_.keep(*file_);
        throw;
    }
}

void CenterDownload::openFile() {
    if (options_.partialFile.empty()) {
        file_.emplace(destination_);
        return;
    }
    file_.emplace(options_.partialFile, true);
    for (const std::string& line :
         resume_.begin(*file_, options_.partialFile, expectedBytes_.value_or(maxBytes_))) {
        curl_slist* appended = curl_slist_append(headers_.get(), line.c_str());
        if (appended == nullptr) {
            failWith(CURLE_OUT_OF_MEMORY);
        }
        static_cast<void>(headers_.release());
        headers_.reset(appended);
    }
}

std::filesystem::path CenterDownload::transferAll(const std::string& url) {
    std::string address = url;
    for (int redirects = 0;; ++redirects) {
        transfer(address);
        if (!redirect_) {
            break;
        }
        if (redirects == maximumRedirects) {
            failWith(CURLE_TOO_MANY_REDIRECTS);
        }
        address = redirectTarget(address, location_);
    }
    return finish();
}

void CenterDownload::configure(const ExtraAuthorities& authorities) {
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
    curl_slist* headers = curl_slist_append(headers_.get(), "Accept-Encoding: identity");
    if (headers == nullptr) {
        failWith(CURLE_OUT_OF_MEMORY);
    }
    static_cast<void>(headers_.release());
    headers_.reset(headers);
    set(easy, CURLOPT_HTTPHEADER, headers_.get());
    // Kept on the handle, so every hop of a redirect goes through the same mapping.
    connectTo_ = ConnectTo::fromEnvironment();
    if (connectTo_) {
        set(easy, CURLOPT_CONNECT_TO, connectTo_.get());
    }
    set(easy, CURLOPT_HEADERFUNCTION, &CenterDownload::onHeader);
    set(easy, CURLOPT_HEADERDATA, this);
    set(easy, CURLOPT_WRITEFUNCTION, &CenterDownload::onBody);
    set(easy, CURLOPT_WRITEDATA, this);
    if (!authorities.empty()) {
        set(easy, CURLOPT_SSL_CTX_FUNCTION, &addAuthorities);
        set(easy, CURLOPT_SSL_CTX_DATA, &authorities);
    }
}

void CenterDownload::transfer(const std::string& address) {
    status_ = 0;
    headersDone_ = false;
    announcedBytes_ = -1;
    chunked_ = false;
    location_.clear();
    redirect_ = false;
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
        return;
    }
    if (result != CURLE_OK && stop_.stop_requested()) {
        throw TransferError(CURLE_ABORTED_BY_CALLBACK, address);
    }
    if (result != CURLE_OK) {
        throw TransferError(result, address, status_);
    }
}

CenterDownload::Clock::time_point CenterDownload::deadline(Clock::time_point requestStart) const {
    Clock::time_point phase =
        headersDone_ ? lastActivity_ + timeouts_.idle : requestStart + timeouts_.request;
    return std::min(phase, totalDeadline_);
}

std::filesystem::path CenterDownload::finish() {
    if (status_ < 200 || status_ > 299) {
        throw CenterError::network(invalidResponse);
    }
    char* finalAddress = nullptr;
    if (curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &finalAddress) != CURLE_OK ||
        finalAddress == nullptr) {
        throw CenterError::network(invalidResponse);
    }
    CenterCore::validateHTTPS(finalAddress);
    std::int64_t size = file_->finish();
    if (size > maxBytes_ || (expectedBytes_ && size != *expectedBytes_)) {
        throw CenterError::checksum();
    }
    file_->moveTo(destination_);
    if (!options_.partialFile.empty()) {
        std::error_code ignored;
        std::filesystem::remove(DownloadResume::validatorFile(options_.partialFile), ignored);
    }
    if (progress_) {
        progress_(1.0);
    }
    return destination_;
}

bool CenterDownload::headerLine(std::string_view line) {
    lastActivity_ = Clock::now();
    if (line.starts_with("HTTP/")) {
        // A new response begins (after an informational one): forget the last one's headers.
        announcedBytes_ = -1;
        chunked_ = false;
        location_.clear();
        etag_.clear();
        lastModified_.clear();
        contentRange_.clear();
    } else if (startsWithName(line, "location")) {
        location_ = headerValue(line);
    } else if (startsWithName(line, "etag")) {
        etag_ = headerValue(line);
    } else if (startsWithName(line, "last-modified")) {
        lastModified_ = headerValue(line);
    } else if (startsWithName(line, "content-range")) {
        contentRange_ = headerValue(line);
    } else if (startsWithName(line, "content-length")) {
        std::string_view value = headerValue(line);
        std::int64_t length = -1;
        auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
        announcedBytes_ = error == std::errc() && end == value.data() + value.size() ? length : -1;
    } else if (startsWithName(line, "transfer-encoding")) {
        chunked_ = headerValue(line).find("chunked") != std::string_view::npos;
    } else if (line == "\r\n" || line == "\n") {
        return headersComplete();
    }
    return true;
}

bool CenterDownload::headersComplete() {
    long status = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status >= 100 && status < 200) {
        return true;
    }
    status_ = status;
    headersDone_ = true;
    if (chunked_) {
        announcedBytes_ = -1;
    }
    if (isRedirectStatus(status) && !location_.empty()) {
        // The redirect's own body is of no use: stop here and follow it once it is vetted.
        redirect_ = true;
        return false;
    }
    if (status < 200 || status > 299) {
        failure_ = std::make_exception_ptr(CenterError::network(invalidResponse));
        return false;
    }
    return bodyBegins();
}

bool CenterDownload::bodyBegins() {
    if (status_ == 206) {
        std::optional<std::int64_t> total =
            resume_.restOfFile(contentRange_, maxBytes_, expectedBytes_);
        if (!total) {
            failure_ = std::make_exception_ptr(CenterError::network(invalidResponse));
            return false;
        }
        written_ = resume_.offset();
        announcedBytes_ = *total;
    } else {
        // The whole file: what an earlier attempt kept is of no use any more.
        if (file_->size() > 0) {
            file_->restart();
        }
        written_ = 0;
        resume_.wholeFile(etag_, lastModified_);
    }
    if (announcedBytes_ > maxBytes_) {
        failure_ = std::make_exception_ptr(CenterError::network(oversize));
        return false;
    }
    if (options_.observer != nullptr) {
        options_.observer->started(file_->path(), file_->size());
        file_->onFlushed(
            [observer = options_.observer](std::int64_t size) { observer->grew(size); });
    }
    return true;
}

bool CenterDownload::body(std::string_view bytes) {
    if (!headersDone_ || redirect_ || stop_.stop_requested()) {
        return false;
    }
    lastActivity_ = Clock::now();
    written_ += static_cast<std::int64_t>(bytes.size());
    if (written_ > maxBytes_) {
        failure_ = std::make_exception_ptr(CenterError::network(oversize));
        return false;
    }
    file_->append(bytes);
    reportProgress();
    return true;
}

void CenterDownload::reportProgress() {
    std::int64_t denominator = expectedBytes_.value_or(announcedBytes_);
    if (denominator < 1 || !progress_) {
        return;
    }
    progress_(std::min(static_cast<double>(written_) / static_cast<double>(denominator), 0.999));
}

std::size_t CenterDownload::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* download = static_cast<CenterDownload*>(self);
    try {
        return download->headerLine({data, size * count}) ? size * count : 0;
    } catch (...) {
        download->failure_ = std::current_exception();
        return 0;
    }
}

std::size_t CenterDownload::onBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* download = static_cast<CenterDownload*>(self);
    try {
        return download->body({data, size * count}) ? size * count : CURL_WRITEFUNC_ERROR;
    } catch (...) {
        download->failure_ = std::current_exception();
        return CURL_WRITEFUNC_ERROR;
    }
}
