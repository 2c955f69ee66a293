#include "transport/CenterDownload.h"

#include "core/CenterError.h"
#include "core/FileContents.h"
#include "tests/transport/LoopbackServer.h"
#include "transport/TransferError.h"

#include <gmock/gmock.h>
#include <optional>
#include <tuple>

using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace {

const std::string oversize = "下载内容超过发布清单允许的大小。";
const std::string kilobyte(1000, 'x');

// The download under test: a real server, a destination in a scratch folder, and a record of
// every progress value.
class GuardedDownload : public LoopbackServer {
  protected:
    std::filesystem::path destination = scratch / "file.bin";
    std::vector<double> progress;
    std::stop_source stop;
    DownloadTimeouts timeouts;

    std::filesystem::path fetch(const std::string& path, std::int64_t maxBytes,
                                std::optional<std::int64_t> expectedBytes = std::nullopt) {
        return CenterDownload::perform(
            server.url(path), destination, maxBytes, expectedBytes,
            [this](double value) { progress.push_back(value); }, stop.get_token(), timeouts);
    }

    template <typename Error> Error failure(const std::string& path, std::int64_t maxBytes) {
        return failureOf<Error>([&] { static_cast<void>(fetch(path, maxBytes, maxBytes)); });
    }

    std::string content() const { return CenterCore::readFileContents(destination, 1024 * 1024); }
};

// A body of exactly the ceiling, and one of three 1 MiB write buffers and a part, whole or in
// chunks that straddle the buffer's edges, arrive byte for byte as the only file.
TEST_F(GuardedDownload, DeliversABodyUpToTheCeilingByteForByteAndOnlyThatFile) {
    const std::string large = noise(0, 3 * 1024 * 1024 + 12345);
    const std::string ceiling(100'000, 'k');
    // The ceiling alone, or the artifact's size expected as well.
    for (const auto& [name, response, body, expected] :
         {std::tuple{"ceiling", HttpsResponse::bytes(ceiling), ceiling, false},
          std::tuple{"announced", HttpsResponse::bytes(large), large, true},
          std::tuple{"chunked", HttpsResponse{.body = large, .chunkBytes = 1024 * 1024 + 1}, large,
                     true}}) {
        SCOPED_TRACE(name);
        std::filesystem::remove(destination);
        server.route("/file", response);
        const auto size = static_cast<std::int64_t>(body.size());
        EXPECT_EQ(fetch("/file", size, expected ? std::optional(size) : std::nullopt), destination);
        EXPECT_TRUE(CenterCore::readFileContents(destination, body.size()) == body);
        EXPECT_EQ(entries(scratch.path()), std::vector{destination});
    }
}

// Every refusal of the update chain, each after exactly the requests it needs, leaving neither
// the destination nor a hidden partial file; nor is an existing destination ever replaced.
TEST_F(GuardedDownload, RefusesWhatTheUpdateChainForbidsAndLeavesNothing) {
    const CenterError unsafeRedirect = CenterError::network("更新服务器尝试跳转到不安全的地址。");
    const std::vector<std::tuple<std::string, HttpsResponse, CenterError>> rows = {
        // The server waits past the ceiling, with or without a length announced: only an early
        // stop avoids the time-out.
        {"unannounced-too-long",
         {.body = kilobyte + kilobyte, .chunkBytes = 100, .stallAfter = 1500},
         CenterError::network(oversize)},
        {"announced-too-long",
         {.body = kilobyte, .announcedLength = 1001, .stallAfter = 0},
         CenterError::network(oversize)},
        {"short", HttpsResponse::bytes(std::string(999, 's')), CenterError::checksum()},
        // More bytes than announced: only the announced ones count as the body.
        {"overlong", {.body = kilobyte, .announcedLength = 600}, CenterError::checksum()},
        {"not-found", HttpsResponse::error(404),
         CenterError::network("服务器未返回有效的更新文件。")},
        {"to-http", HttpsResponse::redirect("http://127.0.0.1:" + std::to_string(server.port())),
         unsafeRedirect},
    };
    for (const auto& [name, response, expected] : rows) {
        std::size_t before = server.requests().size();
        server.route("/" + name, response);
        EXPECT_EQ(failure<CenterError>("/" + name, 1000), expected) << name;
        EXPECT_EQ(server.requests().size() - before, 1u) << name;
        EXPECT_TRUE(entries(scratch.path()).empty()) << name;
    }

    scratch.write("file.bin", "older");
    server.route("/file", HttpsResponse::bytes("newer"));
    EXPECT_EQ(failure<std::filesystem::filesystem_error>("/file", 5).code(),
              std::errc::file_exists);
    EXPECT_EQ(content(), "older");
    EXPECT_EQ(entries(scratch.path()), std::vector{destination});
}

// Each failure keeps libcurl's code and tells the user what happened, with the server and the
// HTTP status where one had arrived, never in libcurl's words. A server outside the trust, or a
// trust without a certificate, is refused before any request.
TEST_F(GuardedDownload, TransferFailuresAndTimeOutsLeaveNothing) {
    // A port that was free a moment ago: nothing listens there.
    const std::uint16_t closed = HttpsServer().port();
    const TemporaryDirectory trust;
    const std::filesystem::path noCertificate = trust.write("ca.pem", "no certificate here");
    struct Row {
        std::string name{};
        HttpsResponse response{};
        CURLcode expected{};
        std::string sentence{};
        std::size_t requests = 1;
        DownloadTimeouts timeouts{};
        // The certificate file trusted instead of the server's ("": none), and another address.
        std::optional<std::string> caFile{};
        std::string url{};
    };
    const std::vector<Row> rows = {
        {"truncated",
         {.body = std::string(500, 't'), .announcedLength = 1000},
         CURLE_PARTIAL_FILE,
         "下载未完成：服务器 127.0.0.1 在传输结束前断开了连接（HTTP 状态 200）。"},
        {"loop", HttpsResponse::redirect("/loop"), CURLE_TOO_MANY_REDIRECTS,
         "更新服务器的跳转次数过多。", 11},
        {"stalled",
         {.body = kilobyte, .stallAfter = 100},
         CURLE_OPERATION_TIMEDOUT,
         "等待服务器 127.0.0.1 响应超时（HTTP 状态 200）。",
         1,
         {10s, 200ms, 60s}},
        {"silent",
         {.body = kilobyte, .silent = true},
         CURLE_OPERATION_TIMEDOUT,
         "等待服务器 127.0.0.1 响应超时。",
         1,
         {3s, 10s, 60s}},
        {.name = "untrusted",
         .expected = CURLE_PEER_FAILED_VERIFICATION,
         .sentence = "无法验证服务器 127.0.0.1 的证书，连接不安全，已停止。",
         .requests = 0,
         .caFile = ""},
        {.name = "no-certificate",
         .expected = CURLE_SSL_CACERT_BADFILE,
         .sentence = "证书颁发机构文件“" + noCertificate.string() + "”中没有可用的证书。",
         .requests = 0,
         .caFile = noCertificate.string()},
        {.name = "refused",
         .expected = CURLE_COULDNT_CONNECT,
         .sentence = "无法连接到服务器 127.0.0.1 的端口 " + std::to_string(closed) + "。",
         .requests = 0,
         .url = "https://127.0.0.1:" + std::to_string(closed) + "/file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::size_t before = server.requests().size();
        timeouts = row.timeouts;
        server.route("/" + row.name, row.response);
        ::setenv("KESTRYN_CA_FILE", row.caFile.value_or(server.caFile().string()).c_str(), 1);
        TransferError error = failureOf<TransferError>([&] {
            static_cast<void>(
                CenterDownload::perform(row.url.empty() ? server.url("/" + row.name) : row.url,
                                        destination, 1000, 1000, {}, stop.get_token(), timeouts));
        });
        EXPECT_EQ(error.code(), row.expected);
        EXPECT_EQ(error.what(), row.sentence);
        EXPECT_EQ(server.requests().size() - before, row.requests);
        EXPECT_TRUE(entries(scratch.path()).empty());
    }
}

TEST_F(GuardedDownload, FollowsRedirectsAsTheIdentityEncodingWithoutCookies) {
    HttpsResponse start = HttpsResponse::redirect(server.url("/moved", "localhost"), 301);
    start.headers.emplace_back("Set-Cookie", "session=secret; Path=/");
    server.route("/start", start);
    server.route("/moved", HttpsResponse::redirect("files/final", 307));
    server.route("/files/final", HttpsResponse::bytes("payload"));
    static_cast<void>(fetch("/start", 100));
    EXPECT_EQ(content(), "payload");
    std::vector<HttpsRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_THAT(requests[1].head, HasSubstr("Host: localhost:" + std::to_string(server.port())));
    EXPECT_EQ(requests[2].path, "/files/final");
    for (const HttpsRequest& request : requests) {
        EXPECT_THAT(request.head, HasSubstr("Accept-Encoding: identity"));
        EXPECT_THAT(request.head, ::testing::Not(HasSubstr("Cookie")));
    }
}

TEST_F(GuardedDownload, ReportsFractionsBelowOneThenOneExactlyOnce) {
    server.route("/chunked", {.body = std::string(200'000, 'c'), .chunkBytes = 10'000});
    static_cast<void>(fetch("/chunked", 200'000, 200'000));
    ASSERT_GT(progress.size(), 2u);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 1.0), 1);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_LT(progress[progress.size() - 2], 1.0);

    // Without an expected or announced size only the end is reported.
    progress.clear();
    std::filesystem::remove(destination);
    static_cast<void>(fetch("/chunked", 200'000));
    EXPECT_EQ(progress, std::vector<double>{1.0});
}

} // namespace
