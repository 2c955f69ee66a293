#include "core/Versions.h"

#include "core/Registry.h"

#include <algorithm>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace CenterCore {
namespace {

constexpr std::size_t maximumVersionBytes = 128;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view withoutLeadingZeros(std::string_view digits) {
    std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view{} : digits.substr(first);
}

// Orders two runs of ASCII digits by their value, whatever their length.
std::strong_ordering compareDigitRuns(std::string_view left, std::string_view right) {
    left = withoutLeadingZeros(left);
    right = withoutLeadingZeros(right);
    if (left.size() != right.size()) {
        return left.size() <=> right.size();
    }
    int order = left.compare(right);
    return order < 0 ? std::strong_ordering::less
                     : (order > 0 ? std::strong_ordering::greater : std::strong_ordering::equal);
}

std::string_view nextComponent(std::string_view& rest) {
    std::size_t dot = rest.find('.');
    std::string_view component = rest.substr(0, dot);
    rest = dot == std::string_view::npos ? std::string_view{} : rest.substr(dot + 1);
    return component;
}

// One code point, case-folded; malformed UTF-8 yields its byte so that the order stays total.
UChar32 foldedCodePoint(std::string_view text, std::size_t& index) {
    UChar32 c = 0;
    auto i = static_cast<std::int32_t>(index);
    U8_NEXT(text.data(), i, static_cast<std::int32_t>(text.size()), c);
    if (c < 0) {
        c = static_cast<unsigned char>(text[index]);
        i = static_cast<std::int32_t>(index) + 1;
    }
    index = static_cast<std::size_t>(i);
    return u_foldCase(c, U_FOLD_CASE_DEFAULT);
}

std::strong_ordering caseInsensitiveNumericCompare(std::string_view left, std::string_view right) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < left.size() && j < right.size()) {
        if (isDigit(left[i]) && isDigit(right[j])) {
            std::size_t iEnd = i;
            std::size_t jEnd = j;
            while (iEnd < left.size() && isDigit(left[iEnd])) {
                ++iEnd;
            }
            while (jEnd < right.size() && isDigit(right[jEnd])) {
                ++jEnd;
            }
            auto order = compareDigitRuns(left.substr(i, iEnd - i), right.substr(j, jEnd - j));
            if (order != 0) {
                return order;
            }
            i = iEnd;
            j = jEnd;
            continue;
        }
        UChar32 a = foldedCodePoint(left, i);
        UChar32 b = foldedCodePoint(right, j);
        if (a != b) {
            return a <=> b;
        }
    }
    return (left.size() - i) <=> (right.size() - j);
}

} // namespace

bool isNumericVersion(std::string_view text) {
    if (text.empty() || text.size() > maximumVersionBytes) {
        return false;
    }
    std::string_view rest = text;
    bool more = true;
    while (more) {
        more = rest.find('.') != std::string_view::npos;
        std::string_view piece = nextComponent(rest);
        if (piece.empty()) {
            return false;
        }
        for (char c : piece) {
            if (!isDigit(c)) {
                return false;
            }
        }
    }
    return true;
}

bool isVersionText(std::string_view text) {
    if (text.empty() || text.size() > maximumVersionBytes || !isDigit(text.front())) {
        return false;
    }
    return std::all_of(text.begin(), text.end(), [](char c) {
        return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
               c == '-';
    });
}

std::strong_ordering numericCompare(std::string_view left, std::string_view right) {
    if (!isNumericVersion(left) || !isNumericVersion(right)) {
        return caseInsensitiveNumericCompare(left, right);
    }
    while (!left.empty() || !right.empty()) {
        std::string_view a = left.empty() ? "0" : nextComponent(left);
        std::string_view b = right.empty() ? "0" : nextComponent(right);
        auto order = compareDigitRuns(a, b);
        if (order != 0) {
            return order;
        }
    }
    return std::strong_ordering::equal;
}

std::strong_ordering compareVersions(std::string_view version, std::string_view build,
                                     std::string_view otherVersion, std::string_view otherBuild) {
    auto order = numericCompare(version, otherVersion);
    return order != 0 ? order : numericCompare(build, otherBuild);
}

bool availableUpdate(const CenterProduct& product, const std::optional<InstalledApp>& installed) {
    if (previewOnlyProductIDs().contains(product.id) || !product.release) {
        return false;
    }
    if (!installed) {
        return true;
    }
    return compareVersions(product.release->version, product.release->build, installed->version,
                           installed->build) > 0;
}

} // namespace CenterCore
