#include "tests/transport/LoopbackServer.h"

#include <chrono>
#include <csignal>
#include <thread>

namespace {

const std::filesystem::path kestryn = KESTRYN_BIN_DIR "/kestryn";

// The command-line programs against a real server. That `download` prints the verified file's
// path, which `install` then takes, is the README example's to prove.
class TransportVerbs : public LoopbackServer {
  protected:
    ProgramResult run(const std::vector<std::string>& arguments) const {
        return runProgram(kestryn, arguments, {{"KESTRYN_CA_FILE", server.caFile().string()}});
    }
};

TEST_F(TransportVerbs, FetchCatalogPrintsTheVerifiedCatalog) {
    server.route("/catalog", HttpsResponse::bytes(signedCatalog()));
    ProgramResult fetched = run({"fetch-catalog", server.url("/catalog"), "--key",
                                 (testKeys() / "PublicKey.txt").string()});
    ASSERT_EQ(fetched.exitCode, 0) << fetched.err;
    EXPECT_EQ(fetched.out, CenterCore::toJSON(bundledCatalog()).dump(2) + "\n");
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

} // namespace
