#include "tests/model/ModelFixture.h"

#include <QSignalSpy>

namespace {

namespace fs = std::filesystem;

using CenterModelHistory = ModelFixture;

const CenterProduct audio = shippedProduct("audio");

TEST_F(CenterModelHistory, RestoresABackupOnConfirmationAndPrunesToTheChosenLimit) {
    bundle(audio, "1.0", applications);
    temp.write("config/settings.json",
               R"({"catalogFeedURL":")" + publishCatalog({{"audio", "2.0"}}) + R"("})");
    std::unique_ptr<CenterModel> model = makeModel();
    QSignalSpy historyChanged(model.get(), &CenterModel::historyChanged);
    for (const CenterProduct& product : model->products()) {
        if (product.id == "audio") {
            model->performAction(product);
        }
    }
    waitUntilIdle(*model);
    ASSERT_EQ(model->installedCopy(audio)->version, "2.0");
    // Every backup is kept, yet the views learn of the new one and its disk use.
    EXPECT_EQ(historyChanged.count(), 1);

    QVariantList listed = model->backups("audio");
    ASSERT_EQ(listed.size(), 1);
    QVariantMap first = listed[0].toMap();
    EXPECT_EQ(first["version"].toString(), "1.0");
    EXPECT_EQ(first["product"].toString(), "audio");
    EXPECT_TRUE(first["date"].toDateTime().isValid());
    EXPECT_GT(first["bytes"].toLongLong(), 0);
    EXPECT_EQ(model->diskUse().backups, static_cast<std::uintmax_t>(first["bytes"].toLongLong()));

    // Declined: nothing changes.
    model->restoreBackup("audio", first["path"].toString());
    waitUntilIdle(*model);
    EXPECT_EQ(model->installedCopy(audio)->version, "2.0");
    ASSERT_FALSE(prompts.asked.empty());
    EXPECT_TRUE(prompts.asked.back().starts_with("恢复 KESTRYN 回响工坊 1.0？\n本机版本：2.0（1）"))
        << prompts.asked.back();

    prompts.answers = {std::size_t{0}};
    model->restoreBackup("audio", first["path"].toString());
    EXPECT_EQ(model->status(), "正在恢复 回响工坊 1.0…");
    EXPECT_EQ(model->busyProduct().value_or(""), "audio");
    waitUntilIdle(*model);
    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_EQ(model->status(), "已恢复到 回响工坊 1.0。");
    EXPECT_EQ(model->installedCopy(audio)->version, "1.0");
    std::vector<CenterInstaller::Backups::Backup> backups = model->backupsOf(audio);
    ASSERT_EQ(backups.size(), 2U);
    EXPECT_EQ(backups[0].version, "2.0");

    // A path that is not one of the product's backups is refused before any question.
    model->restoreBackup(audio, temp / "elsewhere.app");
    EXPECT_EQ(model->error().value_or(""), "未找到这个备份。");

    EXPECT_FALSE(model->keepBackups());
    EXPECT_TRUE(model->pruneBackups().empty());
    model->setKeepBackups(1);
    std::vector<CenterInstaller::Backups::Backup> removed = model->pruneBackups();
    ASSERT_EQ(removed.size(), 1U);
    EXPECT_EQ(removed[0].version, "1.0");
    EXPECT_TRUE(model->status().starts_with("已清理 1 个旧版本备份，释放 ")) << model->status();
    EXPECT_EQ(model->backupsOf(audio).size(), 1U);
    EXPECT_NE(CenterCore::readFileContents(settingsFile, 1024).find("\"keepBackups\":1"),
              std::string::npos);
}

} // namespace
