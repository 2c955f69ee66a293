#include "installer/ResourceSeal.h"
#include "tests/cli/CenterHome.h"
#include "tests/support/TestKeys.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

using nlohmann::json;

namespace {

namespace fs = std::filesystem;

class PublisherVerbs : public ::testing::Test {
  protected:
    TemporaryDirectory folder;
};

TEST_F(PublisherVerbs, KeygenWritesAPrivateKeyOnlyItsOwnerCanReadAndNeverOverwrites) {
    ProgramResult keygen = runProgram(publish, {"keygen", (folder / "keys").string()});
    ASSERT_EQ(keygen.exitCode, 0) << keygen.err;
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

// What the publisher signs the center verifies; what the center would reject is never signed.
TEST_F(PublisherVerbs, SignsOnlyWhatTheCenterVerifies) {
    const json catalog = json::parse(std::ifstream(KESTRYN_RESOURCES_DIR "/Catalog.json"));
    const auto sign = [&](const json& document) {
        return runProgram(publish, {"sign", folder.write("catalog.json", document.dump()).string(),
                                    "--key", (testKeys() / "private.key").string()});
    };
    const fs::path publicKey = testKeys() / "PublicKey.txt";
    ProgramResult signing = sign(catalog);
    ASSERT_EQ(signing.exitCode, 0) << signing.err;
    const fs::path envelope = folder.write("envelope.json", signing.out);
    ProgramResult verified =
        runProgram(kestryn, {"verify-catalog", envelope.string(), "--key", publicKey.string()});
    ASSERT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_EQ(json::parse(verified.out), catalog);

    // Which catalogs the center rejects is the core's rule; one of them shows the publisher
    // applies it.
    json stranger = catalog;
    stranger["products"][0]["id"] = "stranger";
    ProgramResult refused = sign(stranger);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "发布清单包含未授权的软件标识。\n");
    EXPECT_TRUE(refused.out.empty());
}

TEST_F(PublisherVerbs, ArtifactDescribesAFileForTheCatalog) {
    ProgramResult result =
        runProgram(publish, {"artifact", folder.write("Sound.zip", "abc").string(), "--url",
                             "https://downloads.example.com/Sound.zip"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(json::parse(result.out),
              (json{{"url", "https://downloads.example.com/Sound.zip"},
                    {"sha256", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                    {"byteCount", 3},
                    {"format", "zip"}}));
}

// The seal's own refusals (what the bundle check refuses is the packer's to prove), then the
// seal and the package that the center inspects, and a package that cannot be written.
TEST_F(PublisherVerbs, SealsWhatTheCenterCanRunAndPacksIt) {
    const fs::path app = folder / "KESTRYN 回响工坊.app";
    const fs::path seal = CenterInstaller::ResourceSeal::sealPath(app);
    struct Case {
        const char* what;
        std::function<void()> change;
        std::string sentence;
    };
    const std::vector<Case> cases = {
        {"no executable named",
         [&] { writeBundle(folder.path(), app.filename(), {.executable = "", .sealed = false}); },
         "应用程序的 Info.plist 未写明有效的可执行文件名（CFBundleExecutable）：" + app.string()},
        {"a seal folder linked elsewhere",
         [&] {
             fs::create_directories(folder / "elsewhere");
             fs::create_directory_symlink(folder / "elsewhere", app / "Contents/_CodeSignature");
         },
         "签名位置是符号链接，不会写入：" + (app / "Contents/_CodeSignature").string()},
        {"a seal linked elsewhere",
         [&] {
             fs::create_directories(app / "Contents/_CodeSignature");
             fs::create_symlink(folder / "elsewhere/CodeResources", seal);
         },
         "签名位置是符号链接，不会写入：" + seal.string()},
    };
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.what);
        fs::remove_all(app);
        writeBundle(folder.path(), app.filename(), {.sealed = false});
        refused.change();
        ProgramResult result = runProgram(publish, {"seal", app.string()}, {{"LC_ALL", "C"}});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, refused.sentence + "\n");
        EXPECT_FALSE(fs::exists(seal));
        EXPECT_FALSE(fs::exists(folder / "elsewhere/CodeResources"));
    }

    fs::remove_all(app);
    writeBundle(folder.path(), app.filename(), {.sealed = false});
    ProgramResult sealed = runProgram(publish, {"seal", app.string()});
    ASSERT_EQ(sealed.exitCode, 0) << sealed.err;
    EXPECT_EQ(sealed.out, seal.string() + "\n");
    const fs::path package = folder / "发布 文件夹/回响工坊 1.0.zip";
    fs::create_directories(package.parent_path());
    ProgramResult packed = runProgram(publish, {"pack", app.string(), package.string()});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_EQ(runProgram(kestryn, {"inspect", package.string()}).out, "KESTRYN 回响工坊.app\n");
    // A failure names the package asked for, never the hidden file it is written as first.
    const fs::path nowhere = folder / "没有 的文件夹/回响工坊 1.0.zip";
    ProgramResult unwritable = runProgram(publish, {"pack", app.string(), nowhere.string()});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_EQ(unwritable.err, "无法创建“" + nowhere.string() + "”：文件或文件夹不存在。\n");
}

} // namespace
