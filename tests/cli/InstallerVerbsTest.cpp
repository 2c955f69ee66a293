#include "tests/support/Bundle.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

const fs::path kestryn = KESTRYN_BIN_DIR "/kestryn";
const fs::path publish = KESTRYN_BIN_DIR "/kestryn-publish";

// The publisher seals and packs a release; `kestryn install` installs and updates it.
class InstallerVerbs : public ::testing::Test {
  protected:
    TemporaryDirectory temp;
    fs::path applications = temp / "Applications";
    fs::path installed = applications / "KESTRYN 回响工坊.app";

    fs::path release(const std::string& version) {
        fs::path app =
            writeBundle(temp / version, "Echo.app", {.version = version, .sealed = false});
        ProgramResult sealed = runProgram(publish, {"seal", app.string()});
        EXPECT_EQ(sealed.exitCode, 0) << sealed.err;
        EXPECT_EQ(sealed.out, (app / "Contents/_CodeSignature/CodeResources").string() + "\n");
        ProgramResult packed =
            runProgram(publish, {"pack", app.string(), (temp / version).string() + ".zip"});
        EXPECT_EQ(packed.exitCode, 0) << packed.err;
        return (temp / version).string() + ".zip";
    }
    ProgramResult install(const fs::path& zip, std::vector<std::string> options = {}) {
        std::vector<std::string> words = {"install", zip.string(),     "--product",
                                          "audio",   "--applications", applications.string()};
        words.insert(words.end(), options.begin(), options.end());
        return runProgram(kestryn, words,
                          {{"KESTRYN_RESOURCES", KESTRYN_RESOURCES_DIR},
                           {"XDG_DATA_HOME", (temp / "data").string()}});
    }
};

TEST_F(InstallerVerbs, InstallsRefusesTheSameVersionThenUpdatesWithABackup) {
    ProgramResult first = install(release("1.0"));
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, "已安装 回响工坊 1.0（1）：" + installed.string() + "\n");
    ProgramResult again = install(temp / "1.0.zip", {"--backups", (temp / "b").string()});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.err, "已安装相同或更新版本，无需替换。\n");

    ProgramResult update = install(release("1.1"));
    ASSERT_EQ(update.exitCode, 0) << update.err;
    fs::path backups = temp / "data/KESTRYN Center/Backups";
    ASSERT_TRUE(fs::is_directory(backups));
    fs::path backup = fs::directory_iterator(backups)->path();
    EXPECT_EQ(update.out, "已安装 回响工坊 1.1（1）：" + installed.string() +
                              "\n完整原版备份位于：" + backup.string() + "\n");
    EXPECT_EQ(treeSnapshot(backup / "Contents"), treeSnapshot(temp / "1.0/Echo.app/Contents"));

    ProgramResult chosen = install(release("1.2"), {"--backups", (temp / "b").string()});
    ASSERT_EQ(chosen.exitCode, 0) << chosen.err;
    EXPECT_EQ(treeSnapshot(fs::directory_iterator(temp / "b")->path() / "Contents"),
              treeSnapshot(temp / "1.1/Echo.app/Contents"));
}

} // namespace
