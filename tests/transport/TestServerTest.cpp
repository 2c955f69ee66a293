#include "core/CenterError.h"
#include "tests/transport/LoopbackServer.h"
#include "transport/CenterDownload.h"

namespace {

const std::filesystem::path testServer = KESTRYN_BIN_DIR "/kestryn-test-server";

// The test server that serves a folder, reached by the real transport, and its program.
class TestServer : public LoopbackServer {
  protected:
    std::filesystem::path site = scratch / "site";

    TestServer() {
        scratch.write("site/回响 工坊.zip", "package");
        scratch.write("site/sub/readme.txt", "readme");
        scratch.write("secret.txt", "outside the served folder");
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

    // Runs the program with its temporary files in a folder of their own.
    ProgramResult runServer(const std::vector<std::string>& arguments) const {
        return runProgram(testServer, arguments, {{"TMPDIR", (scratch / "tmp").string()}});
    }
};

TEST_F(TestServer, DecodesEscapedPathsButNeverLeavesTheServedFolder) {
    struct Row {
        std::string path;
        std::string body;
    };
    for (const Row& row : std::vector<Row>{
             {"/%E5%9B%9E%E5%93%8D%20%E5%B7%A5%E5%9D%8A.zip", "package"},
             {"/sub/readme.txt", "readme"},
             {"/sub%2Freadme.txt", "readme"},
             {"/%2e%2e/secret.txt", "404"},
             {"/%2E%2E%2Fsecret.txt", "404"},
             {"/..%2fsecret.txt", "404"},
             {"/sub/%2e%2e/%2e%2e/secret.txt", "404"},
             {"/%2f" + (scratch / "secret.txt").string().substr(1), "404"},
             {"/sub/readme.txt%00.zip", "404"},
             {"/%zz", "404"},
         }) {
        EXPECT_EQ(fetched(row.path), row.body) << row.path;
    }
}

TEST_F(TestServer, RefusesALinkThatLeadsOutOfTheServedFolder) {
    std::filesystem::create_symlink(scratch / "secret.txt", site / "link.txt");
    EXPECT_EQ(fetched("/link.txt"), "404");
}

// Every way the program can be started wrongly ends with a Chinese sentence and the right exit
// code, before a certificate authority is left anywhere.
TEST_F(TestServer, TheProgramRefusesBadStartsAndLeavesNoCertificateBehind) {
    std::filesystem::create_directory(scratch / "tmp");
    const std::string port = std::to_string(server.port());
    struct Row {
        std::vector<std::string> arguments;
        int exitCode;
        std::string err;
    };
    const std::vector<Row> rows = {
        {{site.string(), "abc"}, 2, "kestryn-test-server：端口必须是 0 到 65535 之间的整数。\n"},
        {{site.string(), "70000"}, 2, "kestryn-test-server：端口必须是 0 到 65535 之间的整数。\n"},
        {{site.string(), "-1"}, 2, "kestryn-test-server：端口必须是 0 到 65535 之间的整数。\n"},
        {{}, 2, "kestryn-test-server：需要一个文件夹，端口可以省略。\n"},
        {{(scratch / "缺少 的").string()},
         1,
         "要提供的文件夹“" + (scratch / "缺少 的").string() + "”不存在。\n"},
        {{(scratch / "secret.txt").string()},
         1,
         "要提供的文件夹“" + (scratch / "secret.txt").string() + "”不是文件夹。\n"},
        {{site.string(), port}, 1, "端口 " + port + " 已被占用。\n"},
    };
    for (const Row& row : rows) {
        ProgramResult result = runServer(row.arguments);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.err;
        EXPECT_TRUE(result.err.starts_with(row.err)) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
        EXPECT_TRUE(entries(scratch / "tmp").empty()) << row.err;
    }
}

TEST_F(TestServer, TheProgramDocumentsItsOptionalPort) {
    for (const char* help : {"-h", "--help"}) {
        ProgramResult result = runServer({help});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_TRUE(result.out.starts_with("用法：kestryn-test-server 文件夹 [端口]\n"))
            << result.out;
        EXPECT_NE(result.out.find("端口省略或为 0 时"), std::string::npos) << result.out;
        EXPECT_TRUE(result.err.empty());
    }
}

} // namespace
