#include "transport/ResponseHead.h"

#include <algorithm>
#include <charconv>

namespace {

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

} // namespace

bool ResponseHead::add(std::string_view line) {
    if (line.starts_with("HTTP/")) {
        *this = ResponseHead();
    } else if (startsWithName(line, "location")) {
        location = headerValue(line);
    } else if (startsWithName(line, "etag")) {
        etag = headerValue(line);
    } else if (startsWithName(line, "last-modified")) {
        lastModified = headerValue(line);
    } else if (startsWithName(line, "content-range")) {
        contentRange = headerValue(line);
    } else if (startsWithName(line, "content-length")) {
        std::string_view value = headerValue(line);
        std::int64_t length = -1;
        auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
        contentLength = error == std::errc() && end == value.data() + value.size() ? length : -1;
    } else if (startsWithName(line, "transfer-encoding")) {
        chunked = headerValue(line).find("chunked") != std::string_view::npos;
    } else if (line == "\r\n" || line == "\n") {
        if (chunked) {
            contentLength = -1;
        }
        return true;
    }
    return false;
}

std::string ResponseHead::validator() const {
    // A weak ETag cannot guard a range request; the date can.
    return !etag.empty() && !etag.starts_with("W/") ? etag : lastModified;
}

std::optional<ByteRange> ResponseHead::range() const {
    std::string_view text = contentRange;
    if (!text.starts_with("bytes ")) {
        return std::nullopt;
    }
    text.remove_prefix(6);
    ByteRange span;
    auto number = [&text](std::int64_t& value, char end) {
        // Digits only: from_chars would also take a sign, which no position or length has.
        if (text.empty() || text.front() < '0' || text.front() > '9') {
            return false;
        }
        auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() ||
            (end != '\0' && (stop == text.data() + text.size() || *stop != end))) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(stop - text.data()) + (end != '\0' ? 1 : 0));
        return end != '\0' || text.empty();
    };
    // A span that ends before it begins, or beyond the whole length, is no span.
    if (!number(span.first, '-') || !number(span.last, '/') || !number(span.total, '\0') ||
        span.last < span.first || span.total <= span.last) {
        return std::nullopt;
    }
    return span;
}
