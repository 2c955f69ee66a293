#include "core/Detection.h"
#include "model/LocalLists.h"
#include "tests/model/ModelFixture.h"

#include <QTest>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

namespace fs = std::filesystem;

using CenterModelTest = ModelFixture;

const CenterProduct audio = shippedProduct("audio");
const CenterProduct subtitle = shippedProduct("subtitle");
const CenterProduct library = shippedProduct("library");

TEST_F(CenterModelTest, StartsFromSettingsWithTheirTypesAndSaysOnceHowManyAreInstalled) {
    writeInfo("https://catalog.invalid/catalog.json");
    bundle(audio, "1.0", applications);
    bundle(subtitle, "1.0", homeApplications);
    {
        std::unique_ptr<CenterModel> model = makeModel();
        EXPECT_EQ(model->feedURL(), "https://catalog.invalid/catalog.json");
        EXPECT_TRUE(model->autoCheck());
        EXPECT_EQ(model->installedCount(), 2);
        EXPECT_EQ(model->version(), "1.0.0");
    }
    // A stored empty address wins over the default; a text under "autoCheck" counts as absent.
    temp.write("config/settings.json", R"({"catalogFeedURL":"","autoCheck":"no"})");
    std::unique_ptr<CenterModel> model = makeModel();
    EXPECT_EQ(model->feedURL(), "");
    EXPECT_TRUE(model->autoCheck());
    // The first refresh says how many are installed; later ones leave the status.
    EXPECT_EQ(model->status(), "已检测到 2 款软件");
    bundle(library, "1.0", homeApplications);
    model->refreshInstalled();
    EXPECT_EQ(model->installedCount(), 3);
    EXPECT_EQ(model->status(), "已检测到 2 款软件");
    model->checkUpdates();
    EXPECT_EQ(model->status(), "本机检测完成；联网检查需在设置中连接更新服务");
    EXPECT_EQ(model->sourceLabel(), "本机版本目录 · 尚未连接在线服务");
}

TEST_F(CenterModelTest, ACorruptSettingsFileIsReportedAndKeptAside) {
    temp.write("config/settings.json", "{not json");
    std::unique_ptr<CenterModel> model = makeModel();
    ASSERT_TRUE(model->error());
    EXPECT_TRUE(model->error()->starts_with("设置文件“")) << *model->error();
    model->setAutoCheck(false);
    std::vector<std::string> kept;
    for (const auto& entry : fs::directory_iterator(settingsFile.parent_path())) {
        kept.push_back(CenterCore::readFileContents(entry.path(), 1024));
    }
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"{\"autoCheck\":false}", "{not json"}));
}

TEST_F(CenterModelTest, ABadLocalListLeavesTheShippedProductsUnmerged) {
    temp.write("support/LocalPackages.json", R"({"audio":"/nowhere.zip"})");
    temp.write("support/LocalReleases.json", R"({"audio":{"version":1}})");
    std::unique_ptr<CenterModel> model = makeModel();
    ASSERT_TRUE(model->error());
    EXPECT_EQ(model->products().size(), 6U);
    EXPECT_FALSE(listed(*model, "audio").release);
}

TEST_F(CenterModelTest, AnAcceptedCatalogCountsTheUpdatesOfInstalledProducts) {
    bundle(audio, "1.0", applications);
    bundle(subtitle, "1.0", applications);
    bundle(library, "3.0", applications);
    useFeed(publishCatalog({{"audio", "2.0"}, {"subtitle", "2.0"}, {"library", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    EXPECT_EQ(model->status(), "发现 2 款软件可更新");
    EXPECT_EQ(model->sourceLabel(), "在线发布目录 · 签名已验证");
    EXPECT_TRUE(model->lastChecked().isValid());
    EXPECT_EQ(model->actionTitle(listed(*model, "audio")), "更新");
    EXPECT_EQ(model->detailStatus(listed(*model, "audio")), "已安装 1.0 · 可更新");
    EXPECT_EQ(model->actionTitle(listed(*model, "library")), "打开");
}

TEST_F(CenterModelTest, AFailedCheckKeepsTheShownCatalogAndSaysWhy) {
    useFeed(publishCatalog({{"audio", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    ASSERT_TRUE(listed(*model, "audio").release);

    const struct {
        std::string address;
        std::string error;
    } failures[] = {
        {server.url("/missing.json"), "更新检查失败：服务器未返回有效的更新文件。"},
        {server.url("/tampered.json"), "更新检查失败：发布清单签名验证失败，未使用该清单。"},
    };
    // The same catalog signed with a key the center does not trust.
    publisher({"keygen", (temp / "other keys").string()});
    temp.write("site/tampered.json",
               publisher({"sign", (temp / "unsigned-catalog.json").string(), "--key",
                          (temp / "other keys/private.key").string()}));
    for (const auto& failure : failures) {
        model->setFeedURL(failure.address);
        model->configureFeed();
        waitUntilIdle(*model);
        EXPECT_EQ(model->error().value_or(""), failure.error) << failure.address;
        EXPECT_EQ(model->status(), "检查未完成");
        EXPECT_EQ(model->sourceLabel(), "在线检查失败 · 保留上次目录");
    }
}

TEST_F(CenterModelTest, ACatalogThatDoesNotMatchTheKnownProductsIsNotAdopted) {
    // A center that ships fewer products than the registry knows.
    CenterCatalog shippedHere = CenterCore::decodeCatalog(
        CenterCore::readFileContents(resources / "Catalog.json", 1 << 20));
    std::erase_if(shippedHere.products, [](const CenterProduct& p) { return p.id == "video"; });
    temp.write("resources/Catalog.json", CenterCore::toJSON(shippedHere).dump());
    useFeed(publishCatalog({{"audio", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    EXPECT_EQ(model->error().value_or(""),
              "更新检查失败：更新目录与 KESTRYN 产品不匹配，未采用此次目录。");
    EXPECT_FALSE(listed(*model, "audio").release);
}

TEST_F(CenterModelTest, AnAddressChangeDropsTheRunningCheckAndOnlyTheNewResultApplies) {
    HttpsResponse slow = HttpsResponse::fileContent(temp / "site/slow.json");
    slow.silent = true;
    server.route("/slow.json", slow);
    useFeed(server.url("/slow.json"));
    std::string good = publishCatalog({{"subtitle", "2.0"}});

    CenterModel model(modelSetup());
    ASSERT_TRUE(model.isChecking());
    model.setFeedURL(good);
    model.configureFeed();
    waitUntilIdle(model);
    EXPECT_EQ(model.sourceLabel(), "在线发布目录 · 签名已验证");
    EXPECT_TRUE(listed(model, "subtitle").release);
    EXPECT_FALSE(model.error());
}

TEST_F(CenterModelTest, AnUpdateDownloadsWithProgressAndReplacesTheCopyWhereItLies) {
    bundle(audio, "1.0", homeApplications);
    packagePadding = 2 << 20;
    useFeed(publishCatalog({{"audio", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    std::vector<double> fractions;
    std::vector<std::string> statuses;
    QObject::connect(model.get(), &CenterModel::progressChanged, model.get(),
                     [&] { fractions.push_back(model->progress()); });
    QObject::connect(model.get(), &CenterModel::statusChanged, model.get(),
                     [&] { statuses.push_back(model->status()); });
    model->performAction(listed(*model, "audio"));
    EXPECT_EQ(model->busyProduct().value_or(""), "audio");
    EXPECT_EQ(model->actionTitle(listed(*model, "audio")), "处理中");
    // One installation at a time: another product's button does nothing meanwhile.
    model->performAction(listed(*model, "subtitle"));
    // The main thread is busy elsewhere until every byte is in: what it shows next is where the
    // download is now, not the first of the reports that came in meanwhile.
    const auto downloaded = [&] {
        std::error_code missing;
        for (const fs::directory_entry& entry :
             fs::directory_iterator(support / "Downloads", missing)) {
            if (entry.path().filename().string().starts_with("KESTRYN-")) {
                return true;
            }
        }
        return false;
    };
    while (!downloaded()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    waitUntilIdle(*model);

    EXPECT_FALSE(model->error()) << *model->error();
    ASSERT_GE(fractions.size(), 2U);
    EXPECT_GE(fractions[1], 0.999);
    EXPECT_EQ(fractions.back(), 0);
    EXPECT_EQ(statuses,
              (std::vector<std::string>{"正在下载回响工坊", "正在校验安装包……",
                                        "正在校验并安装回响工坊", "回响工坊已安装 · 2.0"}));
    // The update went into the folder of the installed copy, and nowhere else.
    EXPECT_EQ(model->installedCopy(audio)->url, homeApplications / "KESTRYN 回响工坊.app");
    EXPECT_EQ(model->installedCopy(audio)->version, "2.0");
    EXPECT_FALSE(fs::exists(applications / "KESTRYN 回响工坊.app"));
    EXPECT_EQ(std::distance(fs::directory_iterator(support / "Backups"), {}), 1);
}

TEST_F(CenterModelTest, ACancelStopsTheDownloadOrTheInstallationAndSaysWhatHappened) {
    bundle(audio, "1.0", applications);
    packagePadding = 1 << 20;
    useFeed(publishCatalog({{"audio", "2.0"}}));
    const fs::path zip = temp / "site/audio-2.0.zip";
    HttpsResponse whole = HttpsResponse::fileContent(zip);
    whole.etag = "\"audio-2.0\"";
    HttpsResponse half = whole;
    half.stallAfter = fs::file_size(zip) / 2;
    server.route("/audio-2.0.zip", half);
    // The installation waits at its first look at running copies until the cancel was pressed.
    std::promise<void> installing;
    std::promise<void> pressed;
    std::shared_future<void> cancelled = pressed.get_future().share();
    std::atomic<bool> held{false};
    running = [&](const std::string&, const std::optional<fs::path>&) {
        if (!held.exchange(true)) {
            installing.set_value();
            cancelled.wait();
        }
        return false;
    };
    std::unique_ptr<CenterModel> model = makeModel();
    EXPECT_FALSE(model->canCancel());

    model->performAction(listed(*model, "audio"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->progress() > 0.3; }));
    ASSERT_TRUE(model->canCancel());
    model->cancelWork();
    EXPECT_FALSE(model->canCancel());
    waitUntilIdle(*model);
    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_EQ(model->status(), "已取消下载回响工坊，已下载的部分会在下次继续。");
    const ReleaseArtifact& artifact = *listed(*model, "audio").release->artifact;
    const fs::path partial = CenterUpdateService::partialFile(artifact, support / "Downloads");
    ASSERT_TRUE(fs::exists(partial));
    EXPECT_GT(fs::file_size(partial), 0U);

    server.route("/audio-2.0.zip", whole);
    model->performAction(listed(*model, "audio"));
    std::future<void> reached = installing.get_future();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return reached.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    model->cancelWork();
    pressed.set_value();
    waitUntilIdle(*model);
    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_EQ(model->status(), "已取消安装回响工坊，原软件保留。");
    EXPECT_EQ(model->installedCopy(audio)->version, "1.0");

    // The next attempt takes the proven download and installs it.
    act(*model, "audio");
    EXPECT_EQ(model->status(), "回响工坊已安装 · 2.0");
}

TEST_F(CenterModelTest, AFailedDownloadLeavesTheInstalledCopyAndSaysSo) {
    bundle(audio, "1.0", applications);
    useFeed(publishCatalog({{"audio", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    fs::remove(temp / "site/audio-2.0.zip");
    act(*model, "audio");
    EXPECT_EQ(model->status(), "安装未完成，原软件保留");
    EXPECT_EQ(model->error().value_or(""), "服务器未返回有效的更新文件。");
    EXPECT_EQ(model->installedCopy(audio)->version, "1.0");
    EXPECT_FALSE(model->busyProduct());
}

// Imported packages that the center opens for the user rather than installing.
TEST_F(CenterModelTest, PackagesThatAreOnlyOpenedAreOpenedOrRefused) {
    useFeed(publishCatalog({{"audio", "2.0"}, {"film", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    const std::string opened = "安装包已打开，请按安装说明完成升级";
    const std::string kept = "安装未完成，原软件保留";
    const std::string unopened = "无法打开安装包，请在访达中检查文件是否完整。";
    const std::string hostRuns = "澄光工坊安装包已就绪。请先保存工程并退出 Final Cut Pro，再从"
                                 "安装包升级；完成后在澄光工坊中安装 FCP 效果。";
    const struct {
        std::size_t choice; // in the product chooser: film is first, audio third
        std::string file;
        bool hostRuns;
        bool opens;
        std::string status;
        std::string error;
        std::vector<std::string> calls;
    } rows[] = {
        {2, "Tool.PKG", false, true, opened, "", {"openFile .pkg"}},
        {2, "Tool.dmg", false, false, kept, unopened, {"openFile .dmg"}},
        {2, "Tool.tar", false, true, kept, "请使用 ZIP、DMG 或 PKG 安装包。", {}},
        {0, "Film.zip", false, true, opened, "", {"openFile .zip"}},
        {0, "Film.zip", true, true, kept, hostRuns, {"reveal .zip"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        workspace.calls.clear();
        workspace.opens = row.opens;
        workspace.running.clear();
        if (row.hostRuns) {
            workspace.running.push_back({"com.apple.FinalCut", "/Applications/Final Cut Pro.app"});
        }
        model->setError(std::nullopt);
        prompts.answers = {temp.write("mine/" + row.file, "package"), row.choice};
        model->importInstaller();
        waitUntilIdle(*model);
        EXPECT_EQ(model->status(), row.status);
        EXPECT_EQ(model->error().value_or(""), row.error);
        EXPECT_EQ(workspace.calls, row.calls);
    }
}

TEST_F(CenterModelTest, AnImportedZipIsInspectedRecordedAndInstalledAfterConfirmation) {
    bundle(audio, "1.0", applications);
    std::unique_ptr<CenterModel> model = makeModel();
    fs::path zip = zipBundle(bundle(audio, "1.5", temp / "mine"), temp / "mine/回响工坊 1.5.zip");
    // The product chooser lists the non-preview products in order: audio is the third, and the
    // one the package's identifier names is the entry it opens with.
    prompts.answers = {zip, std::size_t{2}, std::size_t{0}};
    model->importInstaller();
    waitUntilIdle(*model);
    EXPECT_EQ(prompts.preselected, 2U);

    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_EQ(model->installedCopy(audio)->version, "1.5");
    CenterRules::LocalPackages packages = LocalLists::readPackages(support);
    ASSERT_TRUE(packages.contains("audio"));
    EXPECT_TRUE(fs::exists(packages["audio"]));
    EXPECT_EQ(LocalLists::readReleases(support)["audio"].version, "1.5");
    EXPECT_EQ(prompts.asked.back(),
              "安装 KESTRYN 回响工坊 1.5？\n安装包已通过标识与签名完整性检查。\n本机版本：1.0（1）"
              "\n安装包版本：1.5（1）\n更新会保留个人数据和旧版备份。");
}

TEST_F(CenterModelTest, AnImportedZipOfAnotherProductIsKeptButNotRecorded) {
    std::unique_ptr<CenterModel> model = makeModel();
    fs::path zip = zipBundle(bundle(library, "1.0", temp / "mine"), temp / "mine/other.zip");
    prompts.answers = {zip, std::size_t{2}};
    model->importInstaller();
    waitUntilIdle(*model);
    EXPECT_EQ(model->status(), "安装包未通过检查");
    EXPECT_EQ(model->error().value_or(""), "安装包的软件标识或版本与发布信息不一致。");
    EXPECT_EQ(std::distance(fs::directory_iterator(support / "Imported"), {}), 1);
    EXPECT_TRUE(LocalLists::readPackages(support).empty());
}

TEST_F(CenterModelTest, TheVersionListNamesEveryProductAndItsInstalledVersion) {
    writeBundle(applications, "KESTRYN 回响工坊.app",
                {.bundleID = audio.bundleID, .version = "1.2", .build = "7"});
    std::unique_ptr<CenterModel> model = makeModel();
    prompts.answers = {temp / "版本 清单.txt"};
    model->exportDiagnostics();
    waitUntilIdle(*model);
    EXPECT_EQ(model->status(), "版本清单已导出");
    std::string text = CenterCore::readFileContents(temp / "版本 清单.txt", 1 << 16);
    EXPECT_TRUE(text.starts_with("KESTRYN 软件中心 1.0.0\n")) << text;
    EXPECT_NE(text.find("\n本机版本目录 · 尚未连接在线服务\n\nKESTRYN 澄光工坊：未安装\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nKESTRYN 回响工坊：1.2（7）\n"), std::string::npos);
    EXPECT_TRUE(text.ends_with("KESTRYN 幻彩工坊：未安装"));
}

// Another run installed the release while this one downloaded it: the update the user asked
// for is there, which is no failure.
TEST_F(CenterModelTest, AnUpdateAnotherRunFinishedFirstEndsAsCurrent) {
    bundle(audio, "1.0", applications);
    useFeed(publishCatalog({{"audio", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    bundle(audio, "2.0", applications);
    model->installOrUpdate(listed(*model, "audio"));
    waitUntilIdle(*model);
    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_EQ(model->status(), "回响工坊 2.0 已是最新版本。");
}

} // namespace
