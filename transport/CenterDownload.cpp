#include "transport/CenterDownload.h"

#include "core/CancellationError.h"
#include "core/CenterError.h"
#include "transport/TransferError.h"

#include <algorithm>

namespace {

const char* const oversize = "下载内容超过发布清单允许的大小。";
const char* const invalidResponse = "服务器未返回有效的更新文件。";

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
      progress_(progress), stop_(std::move(stop)), timeouts_(timeouts), options_(options) {}

std::filesystem::path CenterDownload::run(const std::string& url) {
    GuardedTransfer transfer(stop_, timeouts_);
    openFile();
    try {
        transfer.get(url, resumeHeaders_, *this);
        return finish();
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
    resumeHeaders_ =
        resume_.begin(*file_, options_.partialFile, expectedBytes_.value_or(maxBytes_));
}

std::filesystem::path CenterDownload::finish() {
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

void CenterDownload::begins(const ResponseHead& head) {
    announcedBytes_ = head.contentLength;
    if (head.status == 206) {
        std::optional<std::int64_t> total =
            resume_.restOfFile(head.range(), maxBytes_, expectedBytes_);
        if (!total) {
            throw CenterError::network(invalidResponse);
        }
        written_ = resume_.offset();
        announcedBytes_ = *total;
    } else {
        // The whole file: what an earlier attempt kept is of no use any more.
        if (file_->size() > 0) {
            file_->restart();
        }
        written_ = 0;
        resume_.wholeFile(head.validator());
    }
    if (announcedBytes_ > maxBytes_) {
        throw CenterError::network(oversize);
    }
    if (options_.observer != nullptr) {
        options_.observer->started(file_->path(), file_->size());
        file_->onFlushed(
            [observer = options_.observer](std::int64_t size) { observer->grew(size); });
    }
}

void CenterDownload::body(std::string_view bytes) {
    written_ += static_cast<std::int64_t>(bytes.size());
    if (written_ > maxBytes_) {
        throw CenterError::network(oversize);
    }
    file_->append(bytes);
    reportProgress();
}

void CenterDownload::reportProgress() {
    std::int64_t denominator = expectedBytes_.value_or(announcedBytes_);
    if (denominator < 1 || !progress_) {
        return;
    }
    progress_(std::min(static_cast<double>(written_) / static_cast<double>(denominator), 0.999));
}
