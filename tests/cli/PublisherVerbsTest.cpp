#include "installer/ResourceSeal.h"
#include "tests/cli/CenterHome.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

using nlohmann::json;

namespace {

namespace fs = std::filesystem;

// The key pair keygen writes signs what the center verifies, its private half readable by its
// owner alone and never overwritten; what the center would reject is never signed.
TEST(PublisherVerbs, KeygenMakesAPairThatSignsOnlyWhatTheCenterVerifies) {
    TemporaryDirectory folder;
    const fs::path keys = folder / "发布 密钥";
    ProgramResult keygen = runProgram(publish, {"keygen", keys.string()});
    ASSERT_EQ(keygen.exitCode, 0) << keygen.err;
    struct stat info {};
    ASSERT_EQ(::stat((keys / "private.key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string publicKey = fileContents(keys / "PublicKey.txt");
    EXPECT_EQ(runProgram(publish, {"keygen", keys.string()}).exitCode, 1);
    EXPECT_EQ(fileContents(keys / "PublicKey.txt"), publicKey);

    const json catalog = json::parse(std::ifstream(KESTRYN_RESOURCES_DIR "/Catalog.json"));
    const auto sign = [&](const json& document) {
        return runProgram(publish, {"sign", folder.write("catalog.json", document.dump()).string(),
                                    "--key", (keys / "private.key").string()});
    };
    ProgramResult signing = sign(catalog);
    ASSERT_EQ(signing.exitCode, 0) << signing.err;
    const fs::path envelope = folder.write("envelope.json", signing.out);
    ProgramResult verified = runProgram(
        kestryn, {"verify-catalog", envelope.string(), "--key", (keys / "PublicKey.txt").string()});
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

// The seal's own refusals (what the bundle check refuses is the packer's to prove), then the
// seal and the package that the center inspects, and a package that cannot be written.
TEST(PublisherVerbs, SealsWhatTheCenterCanRunAndPacksIt) {
    TemporaryDirectory folder;
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
    const fs::path package = folder / "回响工坊 1.0.zip";
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
