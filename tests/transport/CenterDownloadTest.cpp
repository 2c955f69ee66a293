#include "transport/CenterDownload.h"

#include "core/CenterError.h"
#include "tests/transport/LoopbackServer.h"
#include "transport/CancellationError.h"
#include "transport/TransferError.h"

#include <fstream>
#include <sstream>

using namespace std::chrono_literals;

namespace {

const std::string oversize = "下载内容超过发布清单允许的大小。";
const std::string invalidResponse = "服务器未返回有效的更新文件。";
const std::string unsafeRedirect = "更新服务器尝试跳转到不安全的地址。";

std::string contentOf(const std::filesystem::path& file) {
    std::ostringstream content;
    content << std::ifstream(file, std::ios::binary).rdbuf();
    return content.str();
}

// The download under test: a real server, a destination in a scratch folder, and a record of
// every progress value.
class GuardedDownload : public LoopbackServer {
  protected:
    std::filesystem::path destination = scratch / "file.bin";
    std::vector<double> progress;
    std::stop_source stop;
    DownloadTimeouts timeouts{2s, 2s, 10s};

    std::filesystem::path fetch(const std::string& path, std::int64_t maxBytes,
                                std::optional<std::int64_t> expectedBytes = std::nullopt) {
        return CenterDownload::perform(
            server.url(path), destination, maxBytes, expectedBytes,
            [this](double value) { progress.push_back(value); }, stop.get_token(), timeouts);
    }

    template <typename Error>
    Error failure(const std::string& path, std::int64_t maxBytes,
                  std::optional<std::int64_t> expectedBytes = std::nullopt) {
        return failureOf<Error>([&] { static_cast<void>(fetch(path, maxBytes, expectedBytes)); });
    }

    // Nothing of a failed download may remain: no destination and no hidden partial file.
    void expectNothingLeft() { EXPECT_TRUE(entries(scratch.path()).empty()); }
};

TEST_F(GuardedDownload, DeliversABodyOfExactlyTheCeilingAndOnlyThatFile) {
    std::string body(100'000, 'k');
    server.route("/file", HttpsResponse::bytes(body));
    EXPECT_EQ(fetch("/file", 100'000), destination);
    EXPECT_EQ(contentOf(destination), body);
    EXPECT_EQ(entries(scratch.path()), std::vector<std::string>{"file.bin"});
}

TEST_F(GuardedDownload, StopsAnEndlessBodyOneByteBeyondTheCeiling) {
    HttpsResponse endless = HttpsResponse::bytes(std::string(1000, 'x'));
    endless.endless = true;
    server.route("/endless", endless);
    EXPECT_EQ(failure<CenterError>("/endless", 100'000), CenterError::network(oversize));
    expectNothingLeft();
}

TEST_F(GuardedDownload, StopsAnAnnouncedLengthAboveTheCeilingBeforeAnyBody) {
    // The server would stall after the headers: only an early stop avoids the time-out.
    HttpsResponse announced = HttpsResponse::bytes(std::string(100, 'x'));
    announced.announcedLength = 100'001;
    announced.stallAfter = 0;
    server.route("/announced", announced);
    EXPECT_EQ(failure<CenterError>("/announced", 100'000), CenterError::network(oversize));
    expectNothingLeft();
}

TEST_F(GuardedDownload, AFileOfTheWrongSizeIsAChecksumFailure) {
    server.route("/short", HttpsResponse::bytes(std::string(999, 's')));
    EXPECT_EQ(failure<CenterError>("/short", 1000, 1000), CenterError::checksum());
    expectNothingLeft();

    // More bytes than announced: only the announced ones count as the body.
    HttpsResponse overlong = HttpsResponse::bytes(std::string(1000, 'o'));
    overlong.announcedLength = 600;
    server.route("/overlong", overlong);
    EXPECT_EQ(failure<CenterError>("/overlong", 1000, 1000), CenterError::checksum());
    expectNothingLeft();
}

TEST_F(GuardedDownload, ABodyShorterThanAnnouncedIsATransferError) {
    HttpsResponse truncated = HttpsResponse::bytes(std::string(500, 't'));
    truncated.announcedLength = 1000;
    server.route("/truncated", truncated);
    EXPECT_EQ(failure<TransferError>("/truncated", 1000).code(), CURLE_PARTIAL_FILE);
    expectNothingLeft();

    HttpsResponse dropped = HttpsResponse::bytes(std::string(1000, 'd'));
    dropped.closeAfter = 300;
    server.route("/dropped", dropped);
    EXPECT_FALSE(failure<TransferError>("/dropped", 1000).cancelled());
    expectNothingLeft();
}

TEST_F(GuardedDownload, ErrorStatusesAreNotUpdateFiles) {
    for (int status : {404, 500}) {
        server.route("/status", HttpsResponse::error(status));
        EXPECT_EQ(failure<CenterError>("/status", 1000), CenterError::network(invalidResponse))
            << status;
        expectNothingLeft();
    }
}

TEST_F(GuardedDownload, FollowsRedirectsToAnotherHttpsNameAndRelativeAddresses) {
    server.route("/start", HttpsResponse::redirect(server.url("/moved", "localhost"), 301));
    server.route("/moved", HttpsResponse::redirect("files/final", 307));
    server.route("/files/final", HttpsResponse::bytes("payload"));
    static_cast<void>(fetch("/start", 100));
    EXPECT_EQ(contentOf(destination), "payload");
    std::vector<HttpsRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].headers["host"], "localhost:" + std::to_string(server.port()));
    EXPECT_EQ(requests[2].path, "/files/final");
}

TEST_F(GuardedDownload, RefusesARedirectToPlainHttpWithoutFollowingIt) {
    std::string insecure = "http://127.0.0.1:" + std::to_string(server.port()) + "/file";
    server.route("/start", HttpsResponse::redirect(insecure));
    EXPECT_EQ(failure<CenterError>("/start", 100), CenterError::network(unsafeRedirect));
    EXPECT_EQ(server.requests().size(), 1u);
    expectNothingLeft();

    server.route("/credentials", HttpsResponse::redirect(server.url("/file", "user@localhost")));
    EXPECT_EQ(failure<CenterError>("/credentials", 100), CenterError::network(unsafeRedirect));
}

TEST_F(GuardedDownload, GivesUpOnARedirectLoop) {
    server.route("/loop", HttpsResponse::redirect("/loop"));
    EXPECT_EQ(failure<TransferError>("/loop", 100).code(), CURLE_TOO_MANY_REDIRECTS);
    EXPECT_EQ(server.requests().size(), 11u);
    expectNothingLeft();
}

TEST_F(GuardedDownload, AsksForTheIdentityEncodingAndNeverSendsCookies) {
    HttpsResponse redirect = HttpsResponse::redirect("/file");
    redirect.headers.emplace_back("Set-Cookie", "session=secret; Path=/");
    server.route("/start", redirect);
    server.route("/file", HttpsResponse::bytes("ok"));
    static_cast<void>(fetch("/start", 100));
    for (const HttpsRequest& request : server.requests()) {
        EXPECT_EQ(request.headers.at("accept-encoding"), "identity");
        EXPECT_FALSE(request.headers.contains("cookie"));
    }
}

TEST_F(GuardedDownload, RefusesAServerOutsideTheTrust) {
    ::unsetenv("KESTRYN_CA_FILE");
    server.route("/file", HttpsResponse::bytes("ok"));
    EXPECT_EQ(failure<TransferError>("/file", 100).code(), CURLE_PEER_FAILED_VERIFICATION);
    expectNothingLeft();
}

TEST_F(GuardedDownload, NeverReplacesAnExistingDestination) {
    scratch.write("file.bin", "older");
    server.route("/file", HttpsResponse::bytes("newer"));
    EXPECT_EQ(failure<std::filesystem::filesystem_error>("/file", 100).code(),
              std::errc::file_exists);
    EXPECT_EQ(contentOf(destination), "older");
    EXPECT_EQ(entries(scratch.path()), std::vector<std::string>{"file.bin"});
}

TEST_F(GuardedDownload, AStopBeforeTheStartMakesNoRequest) {
    stop.request_stop();
    server.route("/file", HttpsResponse::bytes("ok"));
    EXPECT_THROW(static_cast<void>(fetch("/file", 100)), CancellationError);
    EXPECT_TRUE(server.requests().empty());
    expectNothingLeft();
}

TEST_F(GuardedDownload, AStopMidwayCancelsTheTransferAndLeavesNoFile) {
    HttpsResponse slow = HttpsResponse::bytes(std::string(4096, 'x'));
    slow.stallAfter = 1024;
    server.route("/slow", slow);
    std::jthread stopper([&] {
        while (server.requests().empty()) {
            std::this_thread::sleep_for(5ms);
        }
        stop.request_stop();
    });
    EXPECT_TRUE(failure<TransferError>("/slow", 4096).cancelled());
    expectNothingLeft();
}

TEST_F(GuardedDownload, GivesUpWhenTheBodyStalls) {
    timeouts.idle = 200ms;
    HttpsResponse stalled = HttpsResponse::bytes(std::string(4096, 'x'));
    stalled.stallAfter = 1024;
    server.route("/stalled", stalled);
    EXPECT_EQ(failure<TransferError>("/stalled", 4096).code(), CURLE_OPERATION_TIMEDOUT);
    expectNothingLeft();
}

TEST_F(GuardedDownload, GivesUpWhenNoAnswerComes) {
    timeouts.request = 300ms;
    HttpsResponse silent;
    silent.silent = true;
    server.route("/silent", silent);
    EXPECT_EQ(failure<TransferError>("/silent", 4096).code(), CURLE_OPERATION_TIMEDOUT);
    expectNothingLeft();
}

TEST_F(GuardedDownload, ReportsFractionsBelowOneThenOneExactlyOnce) {
    HttpsResponse chunked = HttpsResponse::bytes(std::string(200'000, 'p'));
    chunked.chunked = true;
    chunked.chunkBytes = 10'000;
    server.route("/chunked", chunked);
    static_cast<void>(fetch("/chunked", 200'000, 200'000));
    ASSERT_GT(progress.size(), 2u);
    EXPECT_EQ(progress.back(), 1.0);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 1.0), 1);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_LT(progress[progress.size() - 2], 1.0);
}

TEST_F(GuardedDownload, ReportsOnlyTheEndWhenNoSizeIsKnown) {
    HttpsResponse chunked = HttpsResponse::bytes(std::string(50'000, 'u'));
    chunked.chunked = true;
    server.route("/unknown", chunked);
    static_cast<void>(fetch("/unknown", 100'000));
    EXPECT_EQ(progress, std::vector<double>{1.0});
}

} // namespace
