#include "installer/Backups.h"
#include "tests/installer/InstallFixture.h"

#include <thread>

namespace {

namespace fs = std::filesystem;
using Kind = CenterError::Kind;
using CenterInstaller::Backups::Backup;

// 回响工坊 updated from 1.0 to 2.0 and 3.0 through the installer, leaving backups of 1.0 and 2.0.
class Restore : public InstallFixture {
  protected:
    void SetUp() override {
        InstallFixture::SetUp();
        product.name = "回响工坊";
        installedBundle = applications / "KESTRYN 回响工坊.app";
        for (const char* version : {"1.0", "2.0", "3.0"}) {
            static_cast<void>(run(package(version, "1"), release(version, "1")));
            // Apart in time, so the backups' dates order them.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    std::vector<Backup> listed() { return CenterInstaller::Backups::list(backups, product); }
};

// A removal is a way back, never a loss: the whole bundle waits among the backups, outlives any
// limit as the newest of them, and a restore puts it back byte for byte.
TEST_F(Restore, ARemovedCopyIsTheNewestBackupAndARestoreBringsItBackByteForByte) {
    const std::map<std::string, std::string> installed = treeSnapshot(installedBundle);
    const auto running = [](const std::string&, const std::optional<fs::path>&) { return true; };
    EXPECT_THAT([&] { CenterInstaller::removeInstalled(product, applications, backups, running); },
                ThrowsCenterError(Kind::running, "请先退出“回响工坊”，再安装更新。"));
    EXPECT_EQ(listed().size(), 2U);

    const fs::path backup =
        CenterInstaller::removeInstalled(product, applications, backups, notRunning);
    EXPECT_FALSE(fs::exists(installedBundle));
    EXPECT_TRUE(stagingFolders().empty());
    EXPECT_EQ(listed().front().path, backup);
    EXPECT_EQ(treeSnapshot(backup), installed);
    EXPECT_THAT(
        [&] { CenterInstaller::removeInstalled(product, applications, backups, notRunning); },
        ThrowsCenterError(Kind::install, "这款软件尚未安装。"));
    static_cast<void>(CenterInstaller::Backups::prune(backups, {product}, 1));
    EXPECT_EQ(listed().front().path, backup);

    static_cast<void>(CenterInstaller::restore(backup, product, applications, backups, notRunning));
    EXPECT_EQ(treeSnapshot(installedBundle), installed);
}

// A running application is refused by the same transaction, proven in InstallTest.
TEST_F(Restore, RefusesAForeignOrATamperedBackupAndKeepsEverything) {
    fs::path backup = listed()[0].path;
    Picture installed = picture(installedBundle);
    fs::path foreign =
        writeBundle(temp / "其他", "KESTRYN 字幕工坊.app", {.bundleID = "local.other"});
    temp.write(backup / "Contents/Resources/version.txt", "2.0 tampered");
    auto restoring = [&](const fs::path& from) {
        return [&, from] {
            static_cast<void>(
                CenterInstaller::restore(from, product, applications, backups, notRunning));
        };
    };
    EXPECT_THAT(restoring(foreign), ThrowsCenterError(Kind::install, "所选备份不属于这款软件。"));
    EXPECT_THAT(
        restoring(backup),
        ThrowsCenterError(Kind::install, "验证或安装未完成：" + backup.filename().string() +
                                             "：已签名的文件被修改：Resources/version.txt"));
    EXPECT_EQ(picture(installedBundle), installed);
    EXPECT_EQ(listed().size(), 2U);
    EXPECT_TRUE(stagingFolders().empty());
}

TEST_F(Restore, PruningKeepsTheNewestAndNeverTheBackupOfThePreviousVersion) {
    static_cast<void>(run(package("4.0", "1"), release("4.0", "1")));
    std::vector<Backup> all = listed();
    ASSERT_EQ(all.size(), 3U);
    for (std::size_t keep : {5U, 2U, 0U}) {
        SCOPED_TRACE("keep " + std::to_string(keep));
        std::vector<Backup> removed = CenterInstaller::Backups::prune(backups, {product}, keep);
        std::vector<Backup> left = listed();
        ASSERT_FALSE(left.empty());
        EXPECT_EQ(left[0].path, all[0].path);
        EXPECT_EQ(left[0].version, "3.0");
        EXPECT_EQ(left.size(), std::max<std::size_t>(std::min<std::size_t>(keep, 3), 1));
        EXPECT_EQ(left.size() + removed.size(), all.size());
        all = left;
    }
    EXPECT_TRUE(entries(backups, CenterInstaller::Backups::workPrefix).empty());
}

} // namespace
