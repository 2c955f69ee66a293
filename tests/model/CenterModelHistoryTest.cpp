#include "model/CenterHistory.h"
#include "model/CenterIntegrity.h"
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

// A repair takes a kept package of the installed version first, then a backup of it that passes
// the check, and says when there is neither; the damaged copy is backed up each time.
TEST_F(CenterModelHistory, ARepairReinstallsTheVersionFromItsPackageOrAWholeBackup) {
    bundle(audio, "1.0", applications);
    const fs::path installed = applications / "KESTRYN 回响工坊.app";
    std::unique_ptr<CenterModel> model = makeModel();
    const auto repairDamaged = [&] {
        temp.write(installed / "Contents/Resources/多余 文件.txt", "x");
        prompts.answers = {std::size_t{0}};
        model->repairProduct("audio");
        waitUntilIdle(*model);
    };
    repairDamaged();
    EXPECT_EQ(model->error().value_or(""),
              "本机没有回响工坊 1.0 的安装包或完好的备份，请下载当前版本后重新安装。");
    EXPECT_EQ(model->status(), "修复未完成，原软件保留");

    bundle(audio, "1.0", support / "Backups");
    model->setError(std::nullopt);
    repairDamaged();
    EXPECT_EQ(model->status(), "已修复回响工坊 1.0。");
    fs::remove_all(support / "Backups");
    static_cast<void>(package(audio, "1.0"));
    fs::create_directories(support / "Downloads");
    fs::copy_file(temp / "site/audio-1.0.zip", support / "Downloads/KESTRYN-1111.zip");
    repairDamaged();
    EXPECT_EQ(model->status(), "已修复回响工坊 1.0。");
    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_TRUE(CenterIntegrity::check({audio, *model->installedCopy(audio)}).intact);
    EXPECT_EQ(model->backupsOf(audio).size(), 1U);
}

} // namespace
