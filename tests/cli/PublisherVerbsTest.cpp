#include "installer/ResourceSeal.h"
#include "tests/support/Bundle.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryDirectory.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <thread>

using nlohmann::json;

namespace {

namespace fs = std::filesystem;

const std::filesystem::path kestryn = KESTRYN_BIN_DIR "/kestryn";
const std::filesystem::path publish = KESTRYN_BIN_DIR "/kestryn-publish";

class PublisherVerbs : public ::testing::Test {
  protected:
    TemporaryDirectory folder;
    json catalog = json::parse(std::ifstream(KESTRYN_RESOURCES_DIR "/Catalog.json"));

    void SetUp() override {
        ProgramResult keygen = runProgram(publish, {"keygen", (folder / "keys").string()});
        ASSERT_EQ(keygen.exitCode, 0) << keygen.err;
    }
    ProgramResult sign(const json& document) const {
        return runProgram(publish, {"sign", folder.write("catalog.json", document.dump()).string(),
                                    "--key", (folder / "keys" / "private.key").string()});
    }
};

TEST_F(PublisherVerbs, KeygenWritesAPrivateKeyOnlyItsOwnerCanReadAndNeverOverwrites) {
    struct stat info {};
    ASSERT_EQ(::stat((folder / "keys" / "private.key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // One line of base64: the 32 bytes of the public key.
    const std::string publicKey = fileContents(folder / "keys" / "PublicKey.txt");
    EXPECT_EQ(publicKey.substr(0, publicKey.find('\n')).size(), 44u);

    ProgramResult again = runProgram(publish, {"keygen", (folder / "keys").string()});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(fileContents(folder / "keys" / "PublicKey.txt"), publicKey);
}

TEST_F(PublisherVerbs, ASignedCatalogVerifiesWithTheCenter) {
    ProgramResult signing = sign(catalog);
    ASSERT_EQ(signing.exitCode, 0) << signing.err;
    ProgramResult verified =
        runProgram(kestryn, {"verify-catalog", folder.write("envelope.json", signing.out).string(),
                             "--key", (folder / "keys" / "PublicKey.txt").string()});
    ASSERT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_EQ(json::parse(verified.out), catalog);
}

TEST_F(PublisherVerbs, SignRefusesACatalogTheCenterWouldReject) {
    json preview = catalog;
    for (json& product : preview["products"]) {
        if (product["id"] == "effects") {
            product["release"] = {
                {"version", "1.0"}, {"build", "1"}, {"publishedAt", ""}, {"notes", json::array()}};
        }
    }
    ProgramResult result = sign(preview);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "幻彩工坊目前仅为界面预览，不能包含安装或更新版本。\n");
    EXPECT_TRUE(result.out.empty());

    json stranger = catalog;
    stranger["products"][0]["id"] = "stranger";
    EXPECT_EQ(sign(stranger).err, "发布清单包含未授权的软件标识。\n");
}

TEST_F(PublisherVerbs, ArtifactDescribesAFileForTheCatalog) {
    std::filesystem::path file = folder.write("Sound.zip", "abc");
    ProgramResult result = runProgram(
        publish, {"artifact", file.string(), "--url", "https://downloads.example.com/Sound.zip"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(json::parse(result.out),
              (json{{"url", "https://downloads.example.com/Sound.zip"},
                    {"sha256", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                    {"byteCount", 3},
                    {"format", "zip"}}));

    ProgramResult insecure =
        runProgram(publish, {"artifact", file.string(), "--url", "http://example.com/Sound.zip"});
    EXPECT_EQ(insecure.exitCode, 1);
    EXPECT_EQ(insecure.err, "更新地址必须使用 HTTPS，且不能包含用户名或密码。\n");
    EXPECT_EQ(runProgram(publish, {"artifact", file.string(), "--url", "https://x.example/a",
                                   "--format", "tar"})
                  .exitCode,
              2);
}

TEST_F(PublisherVerbs, SealRefusesABundleTheCenterCouldNotRunAndWritesNoSeal) {
    const fs::path app = folder / "KESTRYN 回响工坊.app";
    const fs::path executable = app / "Contents/MacOS/Sample";
    struct Case {
        const char* what;
        std::function<void()> change;
        std::string sentence;
    };
    const std::vector<Case> cases = {
        {"no bundle at all", [&] { fs::remove_all(app); },
         "找不到应用程序文件夹（应含有 Contents 文件夹）：" + app.string()},
        {"no Info.plist", [&] { fs::remove(app / "Contents/Info.plist"); },
         "应用程序缺少可读取的 Contents/Info.plist：" + app.string()},
        {"no executable named",
         [&] { writeBundle(folder.path(), app.filename(), {.executable = "", .sealed = false}); },
         "应用程序的 Info.plist 未写明有效的可执行文件名（CFBundleExecutable）：" + app.string()},
        {"a named executable that is missing", [&] { fs::remove(executable); },
         "应用程序缺少可执行文件：" + executable.string()},
        {"an executable that may not run", [&] { fs::permissions(executable, fs::perms(0644)); },
         "应用程序缺少可执行文件：" + executable.string()},
        {"a seal folder linked elsewhere",
         [&] {
             fs::create_directories(folder / "elsewhere");
             fs::create_directory_symlink(folder / "elsewhere", app / "Contents/_CodeSignature");
         },
         "签名位置是符号链接，不会写入：" + (app / "Contents/_CodeSignature").string()},
        {"a seal linked elsewhere",
         [&] {
             fs::create_directories(app / "Contents/_CodeSignature");
             fs::create_symlink(folder / "elsewhere/CodeResources",
                                app / "Contents/_CodeSignature/CodeResources");
         },
         "签名位置是符号链接，不会写入：" + CenterInstaller::ResourceSeal::sealPath(app).string()},
    };
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.what);
        fs::remove_all(app);
        writeBundle(folder.path(), app.filename(), {.sealed = false});
        refused.change();
        ProgramResult result = runProgram(publish, {"seal", app.string()}, {{"LC_ALL", "C"}});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, refused.sentence + "\n");
        EXPECT_FALSE(fs::exists(CenterInstaller::ResourceSeal::sealPath(app)));
        EXPECT_FALSE(fs::exists(folder / "elsewhere/CodeResources"));
    }
}

TEST_F(PublisherVerbs, PackShipsOnlyABundleWhoseSealStillHolds) {
    const fs::path app = writeBundle(folder.path(), "KESTRYN 回响工坊.app", {.sealed = false});
    const fs::path package = folder / "发布 文件夹/回响工坊 1.0.zip";
    fs::create_directories(package.parent_path());
    const std::string unfinished = "验证或安装未完成：" + app.filename().string() + "：";

    ProgramResult sealed = runProgram(publish, {"seal", app.string()});
    ASSERT_EQ(sealed.exitCode, 0) << sealed.err;
    EXPECT_EQ(sealed.out, CenterInstaller::ResourceSeal::sealPath(app).string() + "\n");
    ProgramResult packed = runProgram(publish, {"pack", app.string(), package.string()});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_EQ(runProgram(kestryn, {"inspect", package.string()}).out, "KESTRYN 回响工坊.app\n");
    // A failure names the package asked for, never the hidden file it is written as first.
    const fs::path nowhere = folder / "没有 的文件夹/回响工坊 1.0.zip";
    ProgramResult unwritable = runProgram(publish, {"pack", app.string(), nowhere.string()});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_EQ(unwritable.err, "无法创建“" + nowhere.string() + "”：文件或文件夹不存在。\n");

    const std::string released = fileContents(package);
    folder.write(app / "Contents/Resources/data.bin", "changed after sealing");
    ProgramResult stale = runProgram(publish, {"pack", app.string(), package.string()});
    EXPECT_EQ(stale.exitCode, 1);
    EXPECT_EQ(stale.err, unfinished + "已签名的文件被修改：Resources/data.bin\n");
    EXPECT_TRUE(fileContents(package) == released) << "the released package changed";
    EXPECT_EQ(hiddenNames(package.parent_path()), std::vector<std::string>());
}

// A pack stopped by Ctrl+C or SIGTERM halfway through a big bundle leaves the earlier package
// byte for byte and no hidden file beside it.
TEST_F(PublisherVerbs, AnInterruptedPackKeepsTheEarlierPackage) {
    const fs::path app = writeBundle(folder.path(), "KESTRYN 回响工坊.app", {.sealed = false});
    fs::resize_file(folder.write(app / "Contents/Resources/素材 库.bin", ""), 256 << 20);
    CenterInstaller::ResourceSeal::write(app);
    const fs::path package = folder / "发布 文件夹/回响工坊 1.0.zip";
    const std::string earlier = "PK the release users already download";
    folder.write(package.lexically_relative(folder.path()), earlier);

    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        RunningProgram pack(publish, {"pack", app.string(), package.string()});
        // Interrupt once the package is being written, not before.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (hiddenNames(package.parent_path()).empty() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        pack.signal(signal);
        ProgramResult result = pack.wait();

        EXPECT_EQ(result.exitCode, 130);
        EXPECT_EQ(result.signal, 0) << "ended by the signal, not by the program";
        EXPECT_EQ(result.err, "打包已中断，未写入安装包：" + package.string() + "\n");
        EXPECT_TRUE(fileContents(package) == earlier) << "the earlier package changed";
        EXPECT_EQ(hiddenNames(package.parent_path()), std::vector<std::string>());
    }
}

} // namespace
