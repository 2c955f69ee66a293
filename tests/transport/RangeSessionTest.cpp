#include "transport/RangeSession.h"

#include "core/CancellationError.h"
#include "tests/transport/LoopbackServer.h"

#include <gmock/gmock.h>
#include <optional>
#include <stdexcept>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const std::string firstVersion = "\"v1\"";

// Range sessions on a package served by the real loopback server.
class RangeFetch : public LoopbackServer {
  protected:
    const std::string package = noise(0, 300'000);
    std::stop_source stop;

    RangeFetch() { server.route("/pkg", served(firstVersion)); }

    HttpsResponse served(const std::string& etag) const {
        return {.body = package, .etag = etag, .keepAlive = true};
    }

    RangeSession session(const std::string& path, std::int64_t budget = 1'000'000) {
        return RangeSession(server.url(path), static_cast<std::int64_t>(package.size()), budget,
                            stop.get_token());
    }

    // The bytes the sink received for one range.
    static std::string fetched(RangeSession& from, std::int64_t offset, std::int64_t length) {
        std::string bytes;
        from.fetch(offset, length, [&bytes](std::span<const std::byte> chunk) {
            bytes.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
        });
        return bytes;
    }

    bool delivers(RangeSession& from, std::size_t offset, std::size_t length) {
        return fetched(from, static_cast<std::int64_t>(offset),
                       static_cast<std::int64_t>(length)) == package.substr(offset, length);
    }
};

TEST_F(RangeFetch, DeliversEachRangeOverOneConnectionGuardedByTheFirstValidator) {
    RangeSession ranges = session("/pkg");
    EXPECT_TRUE(delivers(ranges, 0, 10));
    EXPECT_TRUE(delivers(ranges, package.size() - 10, 10));
    EXPECT_TRUE(delivers(ranges, 123'456, 100'000));
    EXPECT_EQ(ranges.fetchedBytes(), 100'020);
    const std::vector<HttpsRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_THAT(requests[0].head, HasSubstr("\r\nRange: bytes=0-9"));
    EXPECT_THAT(requests[0].head, Not(HasSubstr("If-Range")));
    EXPECT_THAT(requests[2].head, HasSubstr("\r\nRange: bytes=123456-223455"));
    for (const HttpsRequest& request : requests) {
        EXPECT_EQ(request.connection, requests[0].connection);
        EXPECT_THAT(request.head, HasSubstr("Accept-Encoding: identity"));
    }
    EXPECT_THAT(requests[1].head, HasSubstr("\r\nIf-Range: " + firstVersion));
}

// Each answer that is not exactly the range asked for of the same file is refused at its head,
// before any of its body reaches the sink.
TEST_F(RangeFetch, RefusesAnythingButTheRangeAskedOfTheSameFile) {
    const std::string partial(10, 'p');
    auto partialAnswer = [&](const std::string& span) {
        return HttpsResponse{.status = 206,
                             .body = partial,
                             .headers = {{"Content-Range", span}},
                             .etag = firstVersion};
    };
    struct Row {
        std::string name;
        HttpsResponse answer;
        RangeError::Kind expected;
        // The answer of a first range that succeeds, when the row's answer comes second.
        std::optional<HttpsResponse> earlier{};
    };
    const std::vector<Row> rows = {
        {"no-ranges",
         {.body = package, .etag = firstVersion, .ranges = false},
         RangeError::Kind::unsupported},
        {"no-validator", {.body = package}, RangeError::Kind::unsupported},
        {"other-range", partialAnswer("bytes 1-10/300000"), RangeError::Kind::mismatched},
        {"other-total", partialAnswer("bytes 0-9/300001"), RangeError::Kind::mismatched},
        {"changed", served("\"v2\""), RangeError::Kind::changed, served(firstVersion)},
        {"changed-but-partial", partialAnswer("bytes 0-9/300000"), RangeError::Kind::changed,
         served("\"v0\"")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RangeSession ranges = session("/" + row.name);
        if (row.earlier) {
            server.route("/" + row.name, *row.earlier);
            EXPECT_TRUE(delivers(ranges, 0, 10));
        }
        const std::int64_t before = ranges.fetchedBytes();
        server.route("/" + row.name, row.answer);
        EXPECT_EQ(failureOf<RangeError>([&] { static_cast<void>(fetched(ranges, 0, 10)); }).kind(),
                  row.expected);
        EXPECT_EQ(ranges.fetchedBytes(), before);
    }
    EXPECT_STREQ(RangeError(RangeError::Kind::changed).what(),
                 "服务器上的更新文件在分段下载期间发生了变化。");
}

// The budget, a range outside the package and a stop request each refuse before any request.
TEST_F(RangeFetch, RefusesPastTheBudgetOutsideThePackageOrAfterAStopWithoutARequest) {
    RangeSession ranges = session("/pkg", 15);
    EXPECT_TRUE(delivers(ranges, 0, 10));
    EXPECT_EQ(failureOf<RangeError>([&] { static_cast<void>(fetched(ranges, 10, 6)); }).kind(),
              RangeError::Kind::overBudget);
    EXPECT_TRUE(delivers(ranges, 10, 5));
    EXPECT_THROW(static_cast<void>(fetched(ranges, 299'999, 2)), std::invalid_argument);
    stop.request_stop();
    EXPECT_THROW(static_cast<void>(fetched(ranges, 0, 1)), CancellationError);
    EXPECT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(ranges.fetchedBytes(), 15);
}

} // namespace
