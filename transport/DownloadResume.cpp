#include "transport/DownloadResume.h"

#include "core/AtomicFile.h"
#include "core/FileContents.h"

#include <algorithm>
#include <system_error>

namespace {

// Far beyond any ETag or date; a larger file is not a validator.
constexpr std::size_t maximumValidatorBytes = 4096;

// The validator kept beside a partial file; empty when there is none to trust.
std::string storedValidator(const std::filesystem::path& file) {
    try {
        std::string text = CenterCore::readFileContents(file, maximumValidatorBytes);
        bool printable =
            std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
        return printable && text.size() < maximumValidatorBytes ? text : std::string();
    } catch (const std::filesystem::filesystem_error&) {
        return {};
    }
}

} // namespace

std::filesystem::path DownloadResume::validatorFile(const std::filesystem::path& partial) {
    std::filesystem::path file = partial;
    file += ".validator";
    return file;
}

std::vector<std::string> DownloadResume::begin(DownloadFile& file,
                                               const std::filesystem::path& partial,
                                               std::int64_t limit) {
    const std::filesystem::path validator = validatorFile(partial);
    if (file.resumable()) {
        validator_ = storedValidator(validator);
        std::error_code ignored;
        // Gone until a new attempt ends early: bytes and validator never disagree on disk.
        std::filesystem::remove(validator, ignored);
    }
    if (!file.resumable() || validator_.empty() || file.size() == 0 || file.size() >= limit) {
        // Nothing to resume, nothing to prove it by, or longer than the artifact: start over.
        validator_.clear();
        file.restart();
        return {};
    }
    offset_ = file.size();
    return {"Range: bytes=" + std::to_string(offset_) + "-", "If-Range: " + validator_};
}

std::optional<std::int64_t> DownloadResume::restOfFile(const std::optional<ByteRange>& range,
                                                       std::int64_t maxBytes,
                                                       std::optional<std::int64_t> expectedBytes) {
    // Only the rest of exactly the file asked for counts; anything else starts over.
    if (offset_ == 0 || !range || range->first != offset_ || range->last != range->total - 1 ||
        range->total > maxBytes || (expectedBytes && range->total != *expectedBytes)) {
        validator_.clear();
        return std::nullopt;
    }
    return range->total;
}

void DownloadResume::wholeFile(std::string validator) {
    validator_ = std::move(validator);
}

void DownloadResume::keep(DownloadFile& file) const {
    if (file.resumable() && !validator_.empty()) {
        file.keep();
        AtomicFile::write(validatorFile(file.path()), validator_);
    }
}
