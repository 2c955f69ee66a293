#include "tests/cli/CenterHome.h"
#include "tests/support/InfoPlist.h"

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

namespace fs = std::filesystem;

// The center's resources point at the site's signed catalog, which lists 回响工坊 2.0; 回响工坊 1.0
// is in ~/Applications.
class ModelVerbs : public CenterHome {
  protected:
    void SetUp() override {
        resources = temp / "resources";
        fs::create_directories(resources);
        fs::copy_file(KESTRYN_RESOURCES_DIR "/Catalog.json", resources / "Catalog.json");
        fs::copy_file(testKeys() / "PublicKey.txt", resources / "PublicKey.txt");
        temp.write(
            "resources/Info.plist",
            infoPlist({{"CFBundleShortVersionString", plistString("1.0.0")},
                       {"KESProductCatalogURL", plistString(publishCatalog({{"audio", "2.0"}}))}}));
        writeBundle(applications, soundApp, {.version = "1.0"});
    }
};

// What the check finds, updating all installs; its backup is listed, and a restore the user
// declines at the terminal changes nothing. The confirmed restore and the pruning are the demo's.
TEST_F(ModelVerbs, ACheckedUpdateKeepsABackupWhoseRestoreTheTerminalCanDecline) {
    ProgramResult check = center({"check"});
    ASSERT_EQ(check.exitCode, 0) << check.err;
    EXPECT_NE(check.out.find("回响工坊\t1.0（1）\t2.0（1）\t更新\n"), std::string::npos)
        << check.out;
    ProgramResult update = center({"update", "--all"});
    ASSERT_EQ(update.exitCode, 0) << update.err;

    ProgramResult listed = center({"backups", "audio", "--json"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    json listing = json::parse(listed.out);
    ASSERT_EQ(listing.size(), 1U);
    EXPECT_EQ(listing[0]["version"], "1.0");
    const std::string path = listing[0]["path"];

    ProgramResult declined = atTerminal({"restore", "audio", path}, "n\n");
    EXPECT_EQ(declined.exitCode, 1) << declined.err;
    EXPECT_NE(declined.out.find("恢复 KESTRYN 回响工坊 1.0？"), std::string::npos);
    EXPECT_EQ(lastLine(declined.err), "已取消，已安装的软件未作任何改动。");
    EXPECT_NE(fileContents(applications / soundApp / "Contents/Info.plist").find("<string>2.0<"),
              std::string::npos);
}

// The check of the installed copies: one line a product, and a failing exit for any damage.
TEST_F(ModelVerbs, VerifyNamesWhatDepartsFromTheSealOneProductALine) {
    ProgramResult intact = center({"verify"});
    EXPECT_EQ(intact.exitCode, 0) << intact.err;
    EXPECT_EQ(intact.out, "回响工坊 1.0：完整。\n检查完毕：1 款软件完整。\n");
    for (int file = 1; file <= 4; ++file) {
        temp.write(applications / soundApp / ("Contents/Resources/新增 " + std::to_string(file)),
                   "x");
    }
    ProgramResult damaged = center({"verify", "audio"});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_EQ(damaged.out, "回响工坊 1.0：不完整。新增 4 个文件：Resources/新增 1、Resources/新增 "
                           "2、Resources/新增 3 等。\n");
    EXPECT_EQ(lastLine(damaged.err), "检查完毕：1 款软件不完整。");
    ProgramResult absent = center({"verify", "film"});
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_EQ(lastLine(absent.err), "澄光工坊未安装，无法检查完整性。");
}

// Every other case fails with exit code 1 and its last line of errors; an import nobody can
// confirm is refused with 2 before the package is even copied.
TEST_F(ModelVerbs, EachFailingVerbEndsWithItsLineAndExitCode) {
    EXPECT_EQ(center({"import", release("2.0").string(), "--product", "audio"}).exitCode, 2);
    EXPECT_FALSE(fs::exists(home / ".local/share/KESTRYN Center/Imported"));
    const fs::path nowhere = temp / "没有 的文件夹/版本.txt";
    const fs::path created = temp / "新 的下载";
    const std::vector<std::string> download = {
        "download", "--url", server.url("/missing.zip"), "--sha256", std::string(64, 'a'), "--size",
        "10",       "--to",  (created / "软件").string()};
    for (const auto& [words, err] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             // A failure names the file asked for, never the hidden file it is written as first.
             {{"export", nowhere.string()},
              "无法写入“" + nowhere.string() + "”：文件或文件夹不存在。"},
             {{"restore", "audio", (temp / "无此备份.app").string(), "--yes"}, "未找到这个备份。"},
             // A failed download leaves no folder it created.
             {download, "服务器未返回有效的更新文件。"}}) {
        ProgramResult result = center(words);
        EXPECT_EQ(result.exitCode, 1) << words[0] << result.err;
        EXPECT_EQ(lastLine(result.err), err);
    }
    EXPECT_FALSE(fs::exists(created));
    // A folder that was there before is the user's and stays.
    fs::create_directories(created / "软件");
    EXPECT_EQ(center(download).exitCode, 1);
    EXPECT_TRUE(fs::is_directory(created / "软件"));
}

} // namespace
