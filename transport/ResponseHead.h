#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The span "bytes FIRST-LAST/TOTAL" of a Content-Range header.
struct ByteRange {
    std::int64_t first = -1;
    std::int64_t last = -1;
    std::int64_t total = -1;

    bool operator==(const ByteRange&) const = default;
};

// The headers of one HTTP answer that the guarded transfers judge, read line by line.
struct ResponseHead {
    // Set once the head is complete, from what libcurl read in the status line.
    long status = 0;
    // The body's announced length; -1 when none was announced or the body comes chunked.
    std::int64_t contentLength = -1;
    bool chunked = false;
    std::string location;
    std::string etag;
    std::string lastModified;
    std::string contentRange;

    // Takes one header line; a status line starts a new answer (after an informational one) and
    // forgets the last one's headers. Returns whether the line ends the head.
    [[nodiscard]] bool add(std::string_view line);
    // The validator that can guard a range request: a strong ETag, else the Last-Modified date;
    // empty when there is neither.
    [[nodiscard]] std::string validator() const;
    // The span of the Content-Range header; nothing when it is absent or malformed: a number
    // with a sign, a last byte before the first, or a whole length not beyond the last byte.
    [[nodiscard]] std::optional<ByteRange> range() const;
};
