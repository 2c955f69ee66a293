#include "model/CenterHistory.h"
#include "model/CenterPreferences.h"
#include "tests/model/ModelFixture.h"

#include <QSignalSpy>

namespace {

namespace fs = std::filesystem;

using CenterModelHistory = ModelFixture;

const CenterProduct audio = shippedProduct("audio");

TEST_F(CenterModelHistory, ARestoreOnConfirmationKeepsItsBackupAndPruningObeysTheChosenLimit) {
    bundle(audio, "1.0", applications);
    useFeed(publishCatalog({{"audio", "2.0"}}));
    // What a killed update left: a partial copy that no run holds.
    const fs::path partial = support / "Backups/.kestryn-backup-0A1B";
    fs::create_directories(partial / "KESTRYN 回响工坊.app/Contents");
    std::unique_ptr<CenterModel> model = makeModel();
    EXPECT_FALSE(fs::exists(partial));
    QSignalSpy historyChanged(model.get(), &CenterModel::historyChanged);
    act(*model, "audio");
    ASSERT_EQ(model->installedCopy(audio)->version, "2.0");
    // Every backup is kept, yet the views learn of the new one and its disk use.
    EXPECT_EQ(historyChanged.count(), 1);
    EXPECT_TRUE(model->pruneBackups().backups.empty());

    // The detail's list of them is CenterWindowTest's.
    const std::vector<CenterInstaller::Backups::Backup> made = model->backupsOf(audio);
    ASSERT_EQ(made.size(), 1U);
    EXPECT_EQ(model->history()->snapshot().diskUse.backups, made[0].bytes);
    const fs::path chosen = made[0].path;

    model->preferences()->setKeepBackups(1);
    EXPECT_EQ(historyChanged.count(), 2);
    prompts.answers = {std::size_t{0}};
    model->restoreBackup("audio", QString::fromStdString(chosen.string()));
    EXPECT_TRUE(prompts.asked.back().starts_with("恢复 KESTRYN 回响工坊 1.0？\n本机版本：2.0（1）"))
        << prompts.asked.back();
    EXPECT_EQ(model->status(), "正在恢复 回响工坊 1.0…");
    waitUntilIdle(*model);
    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_EQ(model->status(), "已恢复到 回响工坊 1.0。");
    EXPECT_EQ(model->installedCopy(audio)->version, "1.0");
    // The replaced 2.0 is backed up, and the limit of one spares the backup just restored.
    std::vector<CenterInstaller::Backups::Backup> backups = model->backupsOf(audio);
    ASSERT_EQ(backups.size(), 2U);
    EXPECT_EQ(backups[0].version, "2.0");
    EXPECT_EQ(backups[1].path, chosen);

    std::vector<CenterInstaller::Backups::Backup> removed = model->pruneBackups().backups;
    ASSERT_EQ(removed.size(), 1U);
    EXPECT_EQ(removed[0].version, "1.0");
    EXPECT_TRUE(model->status().starts_with("已清理 1 个旧版本备份，释放 ")) << model->status();
    EXPECT_EQ(model->backupsOf(audio).size(), 1U);
}

// A removal asks first, naming where the copy goes; once confirmed the product shows as not
// installed, offers its installation again, and its history lists the copy to restore.
TEST_F(CenterModelHistory, ARemovalOnConfirmationMovesTheCopyIntoTheHistory) {
    bundle(audio, "1.0", applications);
    std::unique_ptr<CenterModel> model = makeModel();
    prompts.answers = {std::size_t{1}, std::size_t{0}};
    model->removeProduct("audio");
    waitUntilIdle(*model);
    EXPECT_TRUE(model->installedCopy(audio));
    EXPECT_TRUE(prompts.asked.back().starts_with("移除 KESTRYN 回响工坊 1.0？\n“" +
                                                 (applications / "KESTRYN 回响工坊.app").string() +
                                                 "”会移到“" + (support / "Backups").string()))
        << prompts.asked.back();

    model->removeProduct("audio");
    waitUntilIdle(*model);
    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_EQ(model->status(), "已移除回响工坊，可在历史版本中恢复。");
    EXPECT_FALSE(model->installedCopy(audio));
    EXPECT_EQ(model->actionTitle(audio), "获取软件");
    ASSERT_EQ(model->history()->backupsOf("audio").size(), 1U);
    EXPECT_EQ(model->history()->backupsOf("audio")[0].version, "1.0");
    model->removeProduct("audio");
    EXPECT_EQ(model->error().value_or(""), "这款软件尚未安装。");
}

} // namespace
