#include "transport/ResponseHead.h"

#include <gtest/gtest.h>

namespace {

// The span a resumed download is judged by: only "bytes FIRST-LAST/TOTAL" in unsigned digits
// with FIRST <= LAST < TOTAL is one; a signed or inverted span never reaches the resume.
TEST(ResponseHead, ContentRangeIsASpanOnlyWhenItLiesInsideTheWholeLength) {
    const struct {
        const char* header;
        std::optional<ByteRange> span;
    } rows[] = {
        {"Content-Range: bytes 10-29/30\r\n", ByteRange{10, 29, 30}},
        {"content-range:  bytes 0-0/1 \r\n", ByteRange{0, 0, 1}},
        {"Content-Range: bytes 10--1/0\r\n", std::nullopt},
        {"Content-Range: bytes 10-5/-9223372036854775808\r\n", std::nullopt},
        {"Content-Range: bytes -1-5/10\r\n", std::nullopt},
        {"Content-Range: bytes 5-4/10\r\n", std::nullopt},
        {"Content-Range: bytes 0-9/9\r\n", std::nullopt},
        {"Content-Range: bytes 0-9/*\r\n", std::nullopt},
        {"Content-Range: bytes 0-9/10 x\r\n", std::nullopt},
        {"Content-Range: bytes 0-99999999999999999999/1\r\n", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.header);
        ResponseHead head;
        EXPECT_FALSE(head.add(row.header));
        EXPECT_EQ(head.range(), row.span);
    }
}

} // namespace
