#include "core/Unicode.h"

#include <memory>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace CenterCore {
namespace {

std::string toUTF8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

icu::UnicodeString fromUTF8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

} // namespace

bool isValidUTF8(std::string_view bytes) {
    std::int32_t i = 0;
    const auto length = static_cast<std::int32_t>(bytes.size());
    while (i < length) {
        UChar32 c = 0;
        U8_NEXT(bytes.data(), i, length, c);
        if (c < 0) {
            return false;
        }
    }
    return true;
}

std::string nfc(std::string_view text) {
    if (!isValidUTF8(text)) {
        return std::string(text);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    icu::UnicodeString normalized = normalizer->normalize(fromUTF8(text), status);
    return U_FAILURE(status) ? std::string(text) : toUTF8(normalized);
}

std::string lowercased(std::string_view text) {
    return toUTF8(fromUTF8(text).toLower(icu::Locale::getRoot()));
}

std::size_t graphemeCount(std::string_view text) {
    icu::UnicodeString unicode = fromUTF8(text);
    // Creating the iterator costs far more than using it; each thread keeps its own.
    thread_local std::unique_ptr<icu::BreakIterator> breaks = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_FAILURE(status) ? nullptr : std::move(created);
    }();
    if (!breaks) {
        return static_cast<std::size_t>(unicode.countChar32());
    }
    breaks->setText(unicode);
    std::size_t count = 0;
    for (std::int32_t position = breaks->next(); position != icu::BreakIterator::DONE;
         position = breaks->next()) {
        ++count;
    }
    return count;
}

} // namespace CenterCore
