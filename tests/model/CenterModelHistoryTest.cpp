#include "model/CenterHistory.h"
#include "model/CenterIntegrity.h"
#include "model/CenterPreferences.h"
#include "model/LocalLists.h"
#include "tests/model/ModelFixture.h"

#include <QSignalSpy>
#include <functional>

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
    EXPECT_TRUE(clean(*model).backups.empty());

    // The detail's list of them is CenterWindowTest's.
    const std::vector<CenterInstaller::Backups::Backup> made = model->backupsOf(audio);
    ASSERT_EQ(made.size(), 1U);
    EXPECT_GT(made[0].bytes, 0U);
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

    // Nothing starts beside a cleaning, which runs off the window's thread.
    std::vector<CenterInstaller::Backups::Backup> removed;
    model->pruneBackups([&](const CenterModel::Cleaning& cleaning) { removed = cleaning.backups; });
    model->performAction(listed(*model, "audio"));
    EXPECT_FALSE(model->busyProduct());
    waitUntilIdle(*model);
    EXPECT_EQ(model->installedCopy(audio)->version, "1.0");
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
    EXPECT_FALSE(model->installedCopy(audio));
    EXPECT_EQ(model->actionTitle(audio), "获取软件");
    EXPECT_EQ(model->history()->backupsOf("audio").size(), 1U);
    model->removeProduct("audio");
    EXPECT_EQ(model->error().value_or(""), "这款软件尚未安装。");
}

// A repair takes the package recorded at the installation while it has the recorded bytes, then
// a whole backup that passes the check, then a package nothing vouches for, and says when there
// is none; a recorded package changed since is never taken. Each row damages the installed copy
// first; which marked copy ends installed, or the damage left in place, shows the source.
TEST_F(CenterModelHistory, ARepairTrustsTheRecordedPackageOnlyWhileItHasTheRecordedBytes) {
    useFeed(publishCatalog({{"audio", "1.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    act(*model, "audio");
    const fs::path installed = applications / "KESTRYN 回响工坊.app";
    const fs::path recorded = LocalLists::readPackages(support).at("audio").path;
    ASSERT_EQ(recorded.parent_path(), support / "Downloads");
    // Cleaning keeps the recorded package, not the same bytes under a name that sorts first.
    fs::copy_file(recorded, support / "Downloads/KESTRYN-0.zip");
    const std::vector<CenterInstaller::PackageCleanup::Package> cleaned = clean(*model).packages;
    ASSERT_EQ(cleaned.size(), 1U);
    EXPECT_EQ(cleaned[0].file, support / "Downloads/KESTRYN-0.zip");

    const auto marked = [&](const fs::path& folder, const std::string& marker) {
        return writeBundle(folder, "KESTRYN 回响工坊.app",
                           {.bundleID = audio.bundleID,
                            .version = "1.0",
                            .files = {{"Resources/" + marker, "marker"}}});
    };
    const fs::path changed = zipBundle(marked(temp / "changed", "改动.txt"), temp / "changed.zip");
    fs::copy_file(recorded, temp / "recorded.zip");
    struct Row {
        const char* what;
        std::function<void()> prepare;
        std::string status;
        std::string error;
        std::string installedMarker;
    };
    const std::vector<Row> rows = {
        {"the recorded package, before a whole backup",
         [&] { marked(support / "Backups", "备份.txt"); }, "已修复回响工坊 1.0。", "", ""},
        {"the recorded package changed since",
         [&] { fs::copy_file(changed, recorded, fs::copy_options::overwrite_existing); },
         "已修复回响工坊 1.0，本机保存的安装包与安装时的记录不符，未被使用。", "", "备份.txt"},
        {"a package recorded by its path alone, as earlier versions did",
         [&] {
             fs::copy_file(temp / "recorded.zip", recorded, fs::copy_options::overwrite_existing);
             temp.write("support/LocalPackages.json",
                        R"({"audio":")" + recorded.string() + R"("})");
             model = makeModel();
             EXPECT_FALSE(model->error()) << *model->error();
         },
         "已修复回响工坊 1.0。", "", "备份.txt"},
        {"neither a package nor a whole backup",
         [&] {
             fs::remove_all(support / "Backups");
             fs::remove(recorded);
         },
         "修复未完成，原软件保留",
         "本机没有回响工坊 1.0 的安装包或完好的备份，请下载当前版本后重新安装。",
         "备份.txt多余 文件.txt"},
        {"only a package nothing vouches for",
         [&] { fs::copy_file(temp / "recorded.zip", support / "Downloads/KESTRYN-1111.zip"); },
         "已修复回响工坊 1.0。", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.prepare();
        model->setError(std::nullopt);
        temp.write(installed / "Contents/Resources/多余 文件.txt", "x");
        prompts.answers = {std::size_t{0}};
        model->repairProduct("audio");
        waitUntilIdle(*model);
        EXPECT_EQ(model->status(), row.status);
        EXPECT_EQ(model->error().value_or(""), row.error);
        std::string marker;
        for (const char* name : {"备份.txt", "改动.txt", "多余 文件.txt"}) {
            marker += fs::exists(installed / "Contents/Resources" / name) ? name : "";
        }
        EXPECT_EQ(marker, row.installedMarker);
    }
    EXPECT_TRUE(CenterIntegrity::check({audio, *model->installedCopy(audio)}).intact);
    // The damaged copy was backed up first, and the package it came from is now recorded.
    EXPECT_EQ(model->backupsOf(audio).size(), 1U);
    const CenterRules::PackageProof proof{
        static_cast<std::int64_t>(fs::file_size(temp / "recorded.zip")),
        CenterCore::sha256(temp / "recorded.zip")};
    EXPECT_EQ(
        LocalLists::readPackages(support).at("audio"),
        (CenterRules::LocalPackage{(support / "Downloads/KESTRYN-1111.zip").string(), proof}));
}

} // namespace
