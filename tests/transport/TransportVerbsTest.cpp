#include "tests/transport/LoopbackServer.h"

#include <chrono>
#include <csignal>
#include <nlohmann/json.hpp>
#include <thread>

using nlohmann::json;

namespace {

const std::filesystem::path kestryn = KESTRYN_BIN_DIR "/kestryn";

// The command-line programs against a real server.
class TransportVerbs : public LoopbackServer {
  protected:
    ProgramResult run(const std::vector<std::string>& arguments) const {
        return runProgram(kestryn, arguments, {{"KESTRYN_CA_FILE", server.caFile().string()}});
    }
};

TEST_F(TransportVerbs, FetchCatalogPrintsTheVerifiedCatalog) {
    static_cast<void>(makeKeys(scratch / "keys"));
    server.route("/catalog", HttpsResponse::bytes(signedCatalog(scratch / "keys")));
    std::string publicKey = (scratch / "keys" / "PublicKey.txt").string();
    ProgramResult fetched = run({"fetch-catalog", server.url("/catalog"), "--key", publicKey});
    ASSERT_EQ(fetched.exitCode, 0) << fetched.err;
    EXPECT_EQ(fetched.out, CenterCore::toJSON(bundledCatalog()).dump(2) + "\n");

    server.route("/catalog", HttpsResponse::error(404));
    ProgramResult missing = run({"fetch-catalog", server.url("/catalog"), "--key", publicKey});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "服务器未返回有效的更新文件。\n");
}

TEST_F(TransportVerbs, DownloadPrintsThePathOfTheVerifiedFile) {
    std::string content(300'000, 'z');
    server.route("/package.zip", HttpsResponse::bytes(content));
    json artifact =
        json::parse(publisher({"artifact", scratch.write("package.zip", content).string(), "--url",
                               server.url("/package.zip")}));
    std::filesystem::path folder = scratch / "Downloads";

    ProgramResult downloaded =
        run({"download", "--url", artifact["url"], "--sha256", artifact["sha256"], "--size",
             std::to_string(artifact["byteCount"].get<std::int64_t>()), "--to", folder.string()});
    ASSERT_EQ(downloaded.exitCode, 0) << downloaded.err;
    ASSERT_EQ(entries(folder).size(), 1u);
    EXPECT_EQ(downloaded.out, (folder / entries(folder)[0]).string() + "\n");

    // Without the proven file to reuse, a download of bytes that differ fails and keeps none.
    std::filesystem::remove(folder / entries(folder)[0]);
    server.route("/package.zip", HttpsResponse::bytes(std::string(300'000, 'y')));
    ProgramResult tampered =
        run({"download", "--url", artifact["url"], "--sha256", artifact["sha256"], "--size",
             "300000", "--format", "zip", "--to", folder.string()});
    EXPECT_EQ(tampered.exitCode, 1);
    EXPECT_EQ(tampered.err, "安装包校验失败，请重新下载。\n");
    EXPECT_TRUE(entries(folder).empty());
}

TEST_F(TransportVerbs, AFailedDownloadLeavesNoFolderItCreated) {
    server.route("/missing.zip", HttpsResponse::error(404));
    const std::filesystem::path folder = scratch / "新 的下载" / "软件";
    auto download = [&] {
        return run({"download", "--url", server.url("/missing.zip"), "--sha256",
                    std::string(64, 'a'), "--size", "10", "--to", folder.string()});
    };
    ProgramResult failed = download();
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err, "服务器未返回有效的更新文件。\n");
    EXPECT_FALSE(std::filesystem::exists(scratch / "新 的下载"));

    // A folder that was there before is the user's and stays.
    std::filesystem::create_directories(folder);
    EXPECT_EQ(download().exitCode, 1);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

// Ctrl+C midway through a transfer ends as every interrupted verb does: exit status 130 and
// the sentence.
TEST_F(TransportVerbs, AnInterruptedDownloadExitsWith130) {
    HttpsResponse stalled = HttpsResponse::bytes(std::string(300'000, 'z'));
    stalled.stallAfter = 100'000;
    server.route("/package.zip", stalled);
    const std::filesystem::path folder = scratch / "下载 文件夹";
    const std::string digest(64, 'a');
    RunningProgram download(kestryn,
                            {"download", "--url", server.url("/package.zip"), "--sha256", digest,
                             "--size", "300000", "--to", folder.string()},
                            {{"KESTRYN_CA_FILE", server.caFile().string()}});
    const std::filesystem::path partial = folder / (".kestryn-partial-" + digest);
    // Interrupted once the transfer runs, the stalled answer half sent.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!std::filesystem::exists(partial) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    download.signal(SIGINT);
    ProgramResult result = download.wait();
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_EQ(result.signal, 0) << "ended by the signal, not by the program";
    EXPECT_EQ(result.err, "操作已取消。\n");
}

TEST_F(TransportVerbs, ATransferFailureIsToldInChinese) {
    static_cast<void>(makeKeys(scratch / "keys"));
    const std::uint16_t closed = HttpsServer().port();
    ProgramResult refused =
        run({"fetch-catalog", "https://127.0.0.1:" + std::to_string(closed) + "/catalog", "--key",
             (scratch / "keys" / "PublicKey.txt").string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "无法连接到服务器 127.0.0.1 的端口 " + std::to_string(closed) + "。\n");

    server.route("/catalog", HttpsResponse::bytes("{}"));
    ProgramResult untrusted = runProgram(kestryn,
                                         {"fetch-catalog", server.url("/catalog"), "--key",
                                          (scratch / "keys" / "PublicKey.txt").string()},
                                         {{"KESTRYN_CA_FILE", ""}});
    EXPECT_EQ(untrusted.exitCode, 1);
    EXPECT_EQ(untrusted.err, "无法验证服务器 127.0.0.1 的证书，连接不安全，已停止。\n");
}

} // namespace
