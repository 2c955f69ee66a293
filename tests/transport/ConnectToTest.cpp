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

} // namespace
