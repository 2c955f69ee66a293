#include "core/CenterError.h"
#include "core/FileContents.h"
#include "tests/transport/LoopbackServer.h"
#include "transport/CenterDownload.h"

namespace {

// The test server that serves a folder, reached by the real transport.
class TestServer : public LoopbackServer {
  protected:
    std::filesystem::path site = scratch / "site";

    TestServer() {
        scratch.write("site/回响 工坊.zip", "package");
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

// Neither an escaped "..", "/" or NUL nor a link leads out of the folder.
TEST_F(TestServer, DecodesEscapedPathsButNeverLeavesTheServedFolder) {
    for (const auto& [path, body] : std::vector<std::pair<std::string, std::string>>{
             {"/%E5%9B%9E%E5%93%8D%20%E5%B7%A5%E5%9D%8A.zip", "package"},
             {"/sub%2Freadme.txt", "readme"},
             {"/%2e%2e/secret.txt", "404"},
             {"/..%2fsecret.txt", "404"},
             {"/sub/%2e%2e/%2e%2e/secret.txt", "404"},
             {"/%2f" + (scratch / "secret.txt").string().substr(1), "404"},
             {"/sub/readme.txt%00.zip", "404"},
             {"/%zz", "404"},
             {"/link.txt", "404"},
         }) {
        EXPECT_EQ(fetched(path), body) << path;
    }
}

} // namespace
