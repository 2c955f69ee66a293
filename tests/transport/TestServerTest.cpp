#include "core/CenterError.h"
#include "core/FileContents.h"
#include "tests/transport/LoopbackServer.h"
#include "transport/CenterDownload.h"
#include "transport/TransferError.h"

#include <gmock/gmock.h>
#include <optional>

using ::testing::HasSubstr;

namespace {

// The server's official-looking hosts reached only through KESTRYN_CONNECT_TO: the way the
// demonstration serves its site.
class ConnectTo : public LoopbackServer {
  protected:
    ConnectTo() {
        server.route("/x", HttpsResponse::bytes("payload"));
        server.route("/hop", HttpsResponse::redirect("https://mirror.kestryn.test/x"));
        server.route("/astray", HttpsResponse::redirect("https://unmapped.kestryn.test/x"));
    }
    ~ConnectTo() override { ::unsetenv("KESTRYN_CONNECT_TO"); }

    // "HOST:443:127.0.0.1:PORT" for this server.
    std::string toServer(const std::string& host) const {
        return host + ":443:127.0.0.1:" + std::to_string(server.port());
    }
};

TEST_F(ConnectTo, MovesOnlyTheConnectionOfMappedHostsAndStillChecksTheCertificate) {
    struct Row {
        std::string name;
        std::string mapping;
        std::string url;
        // The body that arrives, or nothing when the transfer fails.
        std::optional<std::string> body;
        std::size_t requests;
    };
    const std::string mapped = toServer("updates.kestryn.test");
    const std::vector<Row> rows = {
        {"unmapped", "", "https://updates.kestryn.test/x", std::nullopt, 0},
        {"redirect-to-mapped", " " + mapped + " ,," + toServer("mirror.kestryn.test"),
         "https://updates.kestryn.test/hop", "payload", 2},
        {"redirect-to-unmapped", mapped, "https://updates.kestryn.test/astray", std::nullopt, 1},
        // The certificate does not name this host: the mapping never relaxes verification.
        {"name-not-in-certificate", toServer("other.kestryn.test"), "https://other.kestryn.test/x",
         std::nullopt, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ::setenv("KESTRYN_CONNECT_TO", row.mapping.c_str(), 1);
        const std::size_t before = server.requests().size();
        const std::filesystem::path destination = scratch / (row.name + ".bin");
        if (row.body) {
            EXPECT_EQ(CenterDownload::perform(row.url, destination, 100, std::nullopt, {}, {}),
                      destination);
            EXPECT_EQ(CenterCore::readFileContents(destination, 100), *row.body);
            // The server is asked for the address's host, not the loopback it was reached at.
            EXPECT_THAT(server.requests().back().head, HasSubstr(".kestryn.test\r\n"));
        } else {
            EXPECT_THROW(static_cast<void>(CenterDownload::perform(row.url, destination, 100,
                                                                   std::nullopt, {}, {})),
                         TransferError);
            EXPECT_FALSE(std::filesystem::exists(destination));
        }
        EXPECT_EQ(server.requests().size() - before, row.requests);
    }
}

// The test server that serves a folder, reached by the real transport.
class TestServer : public LoopbackServer {
  protected:
    std::filesystem::path site = scratch / "site";

    TestServer() {
        scratch.write("site/sub/readme.txt", "readme");
        scratch.write("secret.txt", "outside the served folder");
        std::filesystem::create_symlink(scratch / "secret.txt", site / "link.txt");
        server.serveDirectory(site);
    }

    // The body the server answers `path` with, or "404" when it has no file there.
    std::string fetched(const std::string& path) {
        std::filesystem::path destination = scratch / "fetched";
        std::filesystem::remove(destination);
        try {
            static_cast<void>(
                CenterDownload::perform(server.url(path), destination, 1024, std::nullopt, {}, {}));
        } catch (const CenterError& error) {
            EXPECT_STREQ(error.what(), "服务器未返回有效的更新文件。") << path;
            return "404";
        }
        return CenterCore::readFileContents(destination, 1024);
    }
};

// Neither an escape nor a link leads out of the folder.
TEST_F(TestServer, ServesPlainNamesButNeverLeavesTheServedFolder) {
    for (const auto& [path, body] : std::vector<std::pair<std::string, std::string>>{
             {"/sub/readme.txt", "readme"},
             {"/%2e%2e/secret.txt", "404"},
             {"/link.txt", "404"},
         }) {
        EXPECT_EQ(fetched(path), body) << path;
    }
}

} // namespace
