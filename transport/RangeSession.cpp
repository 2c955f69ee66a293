#include "transport/RangeSession.h"

#include "core/CancellationError.h"

#include <stdexcept>
#include <vector>

namespace {

const char* sentence(RangeError::Kind kind) {
    switch (kind) {
    case RangeError::Kind::unsupported:
        return "服务器不支持分段下载。";
    case RangeError::Kind::changed:
        return "服务器上的更新文件在分段下载期间发生了变化。";
    case RangeError::Kind::mismatched:
        return "服务器返回的分段与请求的不符。";
    case RangeError::Kind::overBudget:
        return "分段下载的数据量超过了更新文件允许的大小。";
    }
    return "";
}

} // namespace

RangeError::RangeError(Kind kind) : LocalizedError(sentence(kind)), kind_(kind) {}

RangeSession::RangeSession(std::string url, std::int64_t totalBytes, std::int64_t budgetBytes,
                           std::stop_token stop, const DownloadTimeouts& timeouts)
    : url_(std::move(url)), totalBytes_(totalBytes), budgetBytes_(budgetBytes), stop_(stop),
      transfer_(std::move(stop), timeouts) {}

void RangeSession::fetch(std::int64_t offset, std::int64_t length, const Sink& sink) {
    if (offset < 0 || length < 1 || length > totalBytes_ - offset) {
        throw std::invalid_argument("range outside the artifact");
    }
    if (stop_.stop_requested()) {
        throw CancellationError();
    }
    if (length > budgetBytes_ - fetched_) {
        throw RangeError(RangeError::Kind::overBudget);
    }
    offset_ = offset;
    length_ = length;
    received_ = 0;
    sink_ = &sink;
    std::vector<std::string> headers = {"Range: bytes=" + std::to_string(offset) + "-" +
                                        std::to_string(offset + length - 1)};
    if (!validator_.empty()) {
        headers.push_back("If-Range: " + validator_);
    }
    transfer_.get(url_, headers, *this);
    // A chunked answer may end early without a transfer error.
    if (received_ != length_) {
        throw RangeError(RangeError::Kind::mismatched);
    }
}

void RangeSession::begins(const ResponseHead& head) {
    if (head.status != 206) {
        // The whole file instead of the range: a server without ranges, or, once a validator
        // guards the request, a file that is no longer the same.
        throw RangeError(validator_.empty() ? RangeError::Kind::unsupported
                                            : RangeError::Kind::changed);
    }
    const ByteRange asked{offset_, offset_ + length_ - 1, totalBytes_};
    if (head.range() != asked || (head.contentLength != -1 && head.contentLength != length_)) {
        throw RangeError(RangeError::Kind::mismatched);
    }
    const std::string validator = head.validator();
    if (validator_.empty() && validator.empty()) {
        // Nothing could guard the next request against a file that changes meanwhile.
        throw RangeError(RangeError::Kind::unsupported);
    }
    if (!validator_.empty() && !validator.empty() && validator != validator_) {
        throw RangeError(RangeError::Kind::changed);
    }
    if (validator_.empty()) {
        validator_ = validator;
    }
}

void RangeSession::body(std::string_view bytes) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    if (size > length_ - received_) {
        throw RangeError(RangeError::Kind::mismatched);
    }
    received_ += size;
    fetched_ += size;
    (*sink_)(std::as_bytes(std::span(bytes.data(), bytes.size())));
}
