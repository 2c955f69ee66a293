#include "core/CatalogJSON.h"
#include "core/Digest.h"
#include "core/FileContents.h"
#include "core/FileDescriptor.h"
#include "tests/support/Bundle.h"
#include "tests/support/HttpsServer.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryDirectory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;

const fs::path kestryn = KESTRYN_BIN_DIR "/kestryn";
const fs::path publish = KESTRYN_BIN_DIR "/kestryn-publish";

// A user's home with the center's resources pointing at a signed catalog on a real server
// that lists 回响工坊 2.0, and 回响工坊 1.0 installed in ~/Applications.
class ModelVerbs : public ::testing::Test {
  protected:
    HttpsServer server;
    TemporaryDirectory temp;
    fs::path home = temp / "home";
    fs::path applications = home / "Applications";

    void SetUp() override {
        fs::create_directories(temp / "resources");
        fs::copy_file(KESTRYN_RESOURCES_DIR "/Catalog.json", temp / "resources/Catalog.json");
        ASSERT_EQ(runProgram(publish, {"keygen", (temp / "keys").string()}).exitCode, 0);
        fs::copy_file(temp / "keys/PublicKey.txt", temp / "resources/PublicKey.txt");
        temp.write("resources/Info.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                   "<key>CFBundleShortVersionString</key><string>1.0.0</string>"
                   "<key>KESProductCatalogURL</key><string>" +
                       server.url("/catalog.json") + "</string></dict></plist>");
        server.serveDirectory(temp / "site");
        writeBundle(applications, "KESTRYN 回响工坊.app", {.version = "1.0"});

        fs::path zip = temp / "site/audio-2.0.zip";
        fs::create_directories(zip.parent_path());
        zipBundle(writeBundle(temp / "release", "KESTRYN 回响工坊.app", {.version = "2.0"}), zip);
        CenterCatalog catalog = CenterCore::decodeCatalog(
            CenterCore::readFileContents(temp / "resources/Catalog.json", 1 << 20));
        for (CenterProduct& product : catalog.products) {
            if (product.id == "audio") {
                product.release = CenterRelease{
                    "2.0",
                    "1",
                    "2026-12-01",
                    {"降噪更快。"},
                    ReleaseArtifact{server.url("/audio-2.0.zip"), CenterCore::sha256(zip),
                                    static_cast<std::int64_t>(fs::file_size(zip)),
                                    ArtifactFormat::zip}};
            }
        }
        fs::path document = temp.write("catalog.json", CenterCore::toJSON(catalog).dump());
        ProgramResult signed_ = runProgram(
            publish, {"sign", document.string(), "--key", (temp / "keys/private.key").string()});
        ASSERT_EQ(signed_.exitCode, 0) << signed_.err;
        temp.write("site/catalog.json", signed_.out);
    }

    std::map<std::string, std::string> environment() const {
        return {{"HOME", home.string()},
                {"XDG_DATA_HOME", (home / ".local/share").string()},
                {"XDG_CONFIG_HOME", (home / ".config").string()},
                {"KESTRYN_RESOURCES", (temp / "resources").string()},
                {"KESTRYN_CA_FILE", server.caFile().string()},
                {"LC_ALL", "C"}};
    }

    ProgramResult center(const std::vector<std::string>& words) const {
        return runProgram(kestryn, words, environment());
    }

    // The verb run with a terminal as its standard input, where the user types `typed`.
    ProgramResult atTerminal(const std::vector<std::string>& words,
                             const std::string& typed) const {
        FileDescriptor terminal(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        EXPECT_TRUE(terminal.valid() && ::grantpt(terminal.get()) == 0 &&
                    ::unlockpt(terminal.get()) == 0);
        RunningProgram program(kestryn, words, environment(), ::ptsname(terminal.get()));
        EXPECT_EQ(::write(terminal.get(), typed.data(), typed.size()),
                  static_cast<ssize_t>(typed.size()));
        return program.wait();
    }

    static std::string lastLine(const std::string& text) {
        std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
        return trimmed.substr(trimmed.find_last_of('\n') + 1);
    }
};

TEST_F(ModelVerbs, ACheckFindsTheUpdateWhichUpdateInstallsKeepingABackup) {
    ProgramResult check = center({"check"});
    ASSERT_EQ(check.exitCode, 0) << check.err;
    EXPECT_NE(check.out.find("回响工坊\t1.0（1）\t2.0（1）\t更新\n"), std::string::npos)
        << check.out;
    EXPECT_EQ(lastLine(check.out), "发现 1 款软件可更新");

    ProgramResult update = center({"update", "audio"});
    ASSERT_EQ(update.exitCode, 0) << update.err;
    EXPECT_EQ(lastLine(update.out), "回响工坊已安装 · 2.0");
    EXPECT_NE(fileContents(applications / "KESTRYN 回响工坊.app/Contents/Info.plist")
                  .find("<string>2.0</string>"),
              std::string::npos);
    EXPECT_EQ(
        std::distance(fs::directory_iterator(home / ".local/share/KESTRYN Center/Backups"), {}), 1);

    // Nothing left to update: the flow says so and never starts the application.
    ProgramResult current = center({"update", "audio"});
    EXPECT_EQ(current.exitCode, 0) << current.err;
    EXPECT_EQ(lastLine(current.out), "回响工坊 2.0 已是最新版本。");
    ProgramResult preview = center({"update", "effects"});
    EXPECT_EQ(preview.exitCode, 1);
    EXPECT_EQ(lastLine(preview.err), "幻彩工坊目前仅为界面预览，尚无可安装插件。");

    ProgramResult exported = center({"export", (temp / "版本 清单.txt").string()});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out,
              "已将版本列表写入“" + (temp / "版本 清单.txt").string() + "”。\n版本清单已导出\n");
    // A failure names the file asked for, never the hidden file it is written as first.
    const fs::path nowhere = temp / "没有 的文件夹/版本.txt";
    ProgramResult unwritable = center({"export", nowhere.string()});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_EQ(lastLine(unwritable.err), "无法写入“" + nowhere.string() + "”：文件或文件夹不存在。");
    EXPECT_EQ(unwritable.out.find("已将版本列表写入"), std::string::npos) << unwritable.out;
    EXPECT_NE(fileContents(temp / "版本 清单.txt").find("KESTRYN 回响工坊：2.0（1）"),
              std::string::npos);
}

TEST_F(ModelVerbs, AnImportInstallsOnlyWhenConfirmed) {
    fs::path zip = zipBundle(writeBundle(temp / "mine", "KESTRYN 回响工坊.app", {.version = "1.5"}),
                             temp / "mine/回响工坊 1.5.zip");
    const fs::path imported = home / ".local/share/KESTRYN Center/Imported";
    // Nobody at a terminal to answer: refused before the package is even copied.
    ProgramResult unanswerable = center({"import", zip.string(), "--product", "audio"});
    EXPECT_EQ(unanswerable.exitCode, 2);
    EXPECT_NE(unanswerable.err.find("--yes"), std::string::npos) << unanswerable.err;
    EXPECT_FALSE(fs::exists(imported));

    ProgramResult declined = atTerminal({"import", zip.string(), "--product", "audio"}, "n\n");
    EXPECT_EQ(declined.exitCode, 1) << declined.err;
    EXPECT_NE(declined.out.find("安装 KESTRYN 回响工坊 1.5？"), std::string::npos);
    // The flow has ended: the status says so rather than staying at the reading.
    EXPECT_EQ(lastLine(declined.out), "已导入回响工坊安装包，尚未安装。");
    EXPECT_EQ(lastLine(declined.err), "已取消，已安装的软件未作任何改动。");
    EXPECT_NE(fileContents(applications / "KESTRYN 回响工坊.app/Contents/Info.plist")
                  .find("<string>1.0</string>"),
              std::string::npos);

    // What is not a package file is told as what it is, by the user's path.
    const fs::path missing = temp / "mine/缺少 的.zip";
    for (const auto& [file, sentence] : std::vector<std::pair<fs::path, std::string>>{
             {missing, "无法打开“" + missing.string() + "”：文件或文件夹不存在。"},
             {temp / "mine",
              "无法读取“" + (temp / "mine").string() + "”：这是一个文件夹，不是文件。"},
         }) {
        ProgramResult refused = center({"import", file.string(), "--product", "audio", "--yes"});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_EQ(lastLine(refused.err), sentence);
    }

    ProgramResult confirmed = center({"import", zip.string(), "--product", "audio", "--yes"});
    ASSERT_EQ(confirmed.exitCode, 0) << confirmed.err;
    EXPECT_EQ(lastLine(confirmed.out), "回响工坊已安装 · 1.5");

    ProgramResult foreign = center({"import", zip.string(), "--product", "library", "--yes"});
    EXPECT_EQ(foreign.exitCode, 1);
    EXPECT_EQ(lastLine(foreign.out), "安装包未通过检查");
    EXPECT_EQ(lastLine(foreign.err), "安装包的软件标识或版本与发布信息不一致。");
}

TEST_F(ModelVerbs, AnUpdatesBackupIsListedRestoredOnConfirmationAndPruned) {
    ASSERT_EQ(center({"update", "audio"}).exitCode, 0);
    ProgramResult listed = center({"backups", "audio", "--json"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    nlohmann::json backups = nlohmann::json::parse(listed.out);
    ASSERT_EQ(backups.size(), 1U);
    EXPECT_EQ(backups[0]["version"], "1.0");
    EXPECT_GT(backups[0]["bytes"].get<std::int64_t>(), 0);
    const std::string path = backups[0]["path"];

    ProgramResult declined = atTerminal({"restore", "audio", path}, "n\n");
    EXPECT_EQ(declined.exitCode, 1) << declined.err;
    EXPECT_NE(declined.out.find("恢复 KESTRYN 回响工坊 1.0？"), std::string::npos);
    EXPECT_EQ(lastLine(declined.err), "已取消，已安装的软件未作任何改动。");
    EXPECT_NE(fileContents(applications / "KESTRYN 回响工坊.app/Contents/Info.plist")
                  .find("<string>2.0</string>"),
              std::string::npos);
    ProgramResult restored = center({"restore", "audio", path, "--yes"});
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(lastLine(restored.out), "已恢复到 回响工坊 1.0。");
    ProgramResult unknown = center({"restore", "audio", (temp / "无此备份.app").string(), "--yes"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(lastLine(unknown.err), "未找到这个备份。");

    ProgramResult pruned = center({"prune", "--keep", "1"});
    ASSERT_EQ(pruned.exitCode, 0) << pruned.err;
    EXPECT_NE(pruned.out.find("已删除\taudio\t1.0（1）"), std::string::npos) << pruned.out;
    EXPECT_TRUE(lastLine(pruned.out).starts_with("已清理 1 个旧版本备份，释放 ")) << pruned.out;
    ProgramResult table = center({"backups"});
    EXPECT_NE(table.out.find("回响工坊\t2.0（1）"), std::string::npos) << table.out;
    EXPECT_EQ(center({"prune", "--keep", "0"}).exitCode, 2);
}

} // namespace
