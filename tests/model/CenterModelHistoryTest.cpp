#include "tests/model/ModelFixture.h"

#include <QSignalSpy>

namespace {

namespace fs = std::filesystem;

using CenterModelHistory = ModelFixture;

const CenterProduct audio = shippedProduct("audio");

TEST_F(CenterModelHistory, RestoresABackupOnConfirmationAndPrunesToTheChosenLimit) {
    bundle(audio, "1.0", applications);
    useFeed(publishCatalog({{"audio", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    QSignalSpy historyChanged(model.get(), &CenterModel::historyChanged);
    act(*model, "audio");
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

    // A limit the list does not offer, set from the command line, is offered in its place.
    model->setKeepBackups(4);
    QStringList offered;
    for (const QVariant& choice : model->keepBackupsChoices()) {
        offered << choice.toMap()["text"].toString();
    }
    EXPECT_EQ(offered, QStringList({"全部保留", "1 个", "2 个", "3 个", "4 个", "5 个", "10 个"}));
}

TEST_F(CenterModelHistory, ADownloadCutMidwayIsShownInTheDiskUseAndResumedByTheNextUpdate) {
    bundle(audio, "1.0", applications);
    useFeed(publishCatalog({{"audio", "2.0"}}));
    const fs::path zip = temp / "site/audio-2.0.zip";
    HttpsResponse cut = HttpsResponse::fileContent(zip);
    cut.etag = "\"audio-2.0\"";
    cut.cutAt = fs::file_size(zip) / 2;
    server.route("/audio-2.0.zip", cut);
    std::unique_ptr<CenterModel> model = makeModel();

    QSignalSpy historyChanged(model.get(), &CenterModel::historyChanged);
    act(*model, "audio");
    EXPECT_EQ(model->status(), "安装未完成，原软件保留");
    EXPECT_EQ(model->installedCopy(audio)->version, "1.0");
    EXPECT_EQ(historyChanged.count(), 1);
    // The kept half, and the validator that lets the next attempt resume it.
    EXPECT_GT(model->diskUse().downloads, fs::file_size(zip) / 2);

    cut.cutAt.reset();
    server.route("/audio-2.0.zip", cut);
    act(*model, "audio");
    EXPECT_EQ(model->installedCopy(audio)->version, "2.0");
    // Only the finished package stays; the partial file and its validator are gone.
    EXPECT_EQ(model->diskUse().downloads, fs::file_size(zip));
    const std::vector<HttpsRequest> requests = server.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_NE(requests.back().head.find("Range: bytes=" + std::to_string(fs::file_size(zip) / 2)),
              std::string::npos);
}

} // namespace
