#include "model/CenterHistory.h"
#include "model/CenterPreferences.h"
#include "model/LocalLists.h"
#include "tests/model/ModelFixture.h"

#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

namespace fs = std::filesystem;

using CenterModelTest = ModelFixture;

const CenterProduct audio = shippedProduct("audio");
const CenterProduct subtitle = shippedProduct("subtitle");
const CenterProduct library = shippedProduct("library");

TEST_F(CenterModelTest, StartsFromTheStoredFilesAndSaysHowManyAreInstalled) {
    writeBundle(applications, "KESTRYN 回响工坊.app",
                {.bundleID = audio.bundleID, .version = "1.2", .build = "7"});
    bundle(subtitle, "1.0", homeApplications);
    // No catalog address: nothing is checked online.
    std::unique_ptr<CenterModel> model = makeModel();
    EXPECT_EQ(model->status(), "已检测到 2 款软件");
    model->checkUpdates();
    EXPECT_EQ(model->status(), "本机检测完成；联网检查需在设置中连接更新服务");
    EXPECT_EQ(model->sourceLabel(), "本机版本目录 · 尚未连接在线服务");

    // A bad local list merges nothing.
    temp.write("support/LocalPackages.json", R"({"audio":"/nowhere.zip"})");
    temp.write("support/LocalReleases.json", R"({"audio":{"version":1}})");
    model = makeModel();
    EXPECT_TRUE(model->error());
    EXPECT_EQ(model->products().size(), 6U);
    EXPECT_FALSE(listed(*model, "audio").release);
}

TEST_F(CenterModelTest, ACatalogOutlivesAFailedOrDroppedCheckAndAnUpdateDoneMeanwhileIsCurrent) {
    bundle(audio, "1.0", applications);
    bundle(subtitle, "1.0", applications);
    bundle(library, "3.0", applications);
    useFeed(publishCatalog({{"audio", "2.0"}, {"subtitle", "2.0"}, {"library", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    EXPECT_EQ(model->status(), "发现 2 款软件可更新");
    EXPECT_EQ(model->sourceLabel(), "在线发布目录 · 签名已验证");

    // A check that fails at the same address (here the same catalog signed with a key the
    // center does not trust) keeps the catalog it had and says why.
    const fs::path good = temp.write("good.json", fileContents(temp / "site/catalog.json"));
    temp.write("site/catalog.json",
               publisher({"sign", (temp / "unsigned-catalog.json").string(), "--key",
                          (testKeys("stranger") / "private.key").string()}));
    model->checkUpdates();
    waitUntilIdle(*model);
    EXPECT_EQ(model->error().value_or(""), "更新检查失败：发布清单签名验证失败，未使用该清单。");
    EXPECT_EQ(model->status(), "检查未完成");
    EXPECT_EQ(model->sourceLabel(), "在线检查失败 · 保留上次目录");
    EXPECT_TRUE(listed(*model, "audio").release);
    fs::rename(good, temp / "site/catalog.json");

    // An address change drops the running check, and only the new address's result applies.
    server.route("/slow.json", {.silent = true});
    CenterPreferences& preferences = *model->preferences();
    const std::string feed = preferences.feedURL();
    preferences.setFeedURL(server.url("/slow.json"));
    preferences.saveFeedURL();
    ASSERT_TRUE(model->isChecking());
    model->setError(std::nullopt);
    preferences.setFeedURL(feed);
    preferences.saveFeedURL();
    waitUntilIdle(*model);
    EXPECT_EQ(model->sourceLabel(), "在线发布目录 · 签名已验证");
    EXPECT_FALSE(model->error());

    // Another run installed the release while this one downloaded it: the update the user asked
    // for is there, which is no failure.
    bundle(audio, "2.0", applications);
    model->installOrUpdate(listed(*model, "audio"));
    waitUntilIdle(*model);
    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_EQ(model->status(), "回响工坊 2.0 已是最新版本。");

    // A center that ships fewer products than the online catalog lists does not adopt it.
    CenterCatalog shippedHere = shippedCatalog();
    std::erase_if(shippedHere.products, [](const CenterProduct& p) { return p.id == "video"; });
    temp.write("resources/Catalog.json", CenterCore::toJSON(shippedHere).dump());
    model = makeModel();
    EXPECT_EQ(model->error().value_or(""),
              "更新检查失败：更新目录与 KESTRYN 产品不匹配，未采用此次目录。");
    EXPECT_FALSE(listed(*model, "audio").release);
}

TEST_F(CenterModelTest, AnUpdateShowsItsProgressReplacesTheCopyInPlaceAndCleaningKeepsItsPackage) {
    bundle(audio, "1.0", homeApplications);
    packagePadding = 2 << 20;
    useFeed(publishCatalog({{"audio", "2.0"}}));
    std::unique_ptr<CenterModel> model = makeModel();
    std::vector<double> fractions;
    QObject::connect(model.get(), &CenterModel::progressChanged, model.get(),
                     [&] { fractions.push_back(model->progress()); });
    model->performAction(listed(*model, "audio"));
    EXPECT_EQ(model->busyProduct().value_or(""), "audio");
    // One installation at a time: another product's button does nothing meanwhile.
    model->performAction(listed(*model, "subtitle"));
    // The main thread is busy elsewhere until every byte is in: what it shows next is where the
    // download is now, not the first of the reports that came in meanwhile.
    while (entries(support / "Downloads", "KESTRYN-").empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    waitUntilIdle(*model);

    // The statuses on the way are those of CenterModelDifferential's whole package.
    EXPECT_FALSE(model->error()) << *model->error();
    ASSERT_GE(fractions.size(), 2U);
    EXPECT_GE(fractions.front(), 0.999);
    EXPECT_EQ(fractions.back(), 0);
    // The update went into the folder of the installed copy, and nowhere else.
    EXPECT_EQ(model->installedCopy(audio)->url, homeApplications / "KESTRYN 回响工坊.app");
    EXPECT_EQ(model->installedCopy(audio)->version, "2.0");
    EXPECT_FALSE(fs::exists(applications / "KESTRYN 回响工坊.app"));

    // Cleaning takes the same package downloaded again, one of the replaced version, and a copy
    // in "Imported" that no list records (an import that failed its check).
    const fs::path downloads = support / "Downloads";
    const fs::path source = fs::directory_iterator(downloads)->path();
    fs::copy_file(source, downloads / "KESTRYN-FFFF.zip");
    static_cast<void>(package(audio, "1.0"));
    fs::copy_file(temp / "site/audio-1.0.zip", downloads / "KESTRYN-EEEE.zip");
    fs::create_directories(support / "Imported");
    fs::copy_file(temp / "site/audio-1.0.zip", support / "Imported/audio-DDDD.zip");
    EXPECT_TRUE(model->canClean());
    CenterModel::Cleaning cleaning = clean(*model);
    EXPECT_TRUE(cleaning.backups.empty());
    EXPECT_EQ(cleaning.packages.size(), 3U);
    EXPECT_TRUE(model->status().starts_with("已清理 3 个不再需要的安装包，释放 "))
        << model->status();
    // One copy of the installed version's package stays, the source of a reinstall.
    const std::vector<fs::path> left = entries(downloads);
    ASSERT_EQ(left.size(), 1U);
    EXPECT_EQ(CenterCore::sha256(left[0]), CenterCore::sha256(temp / "site/audio-2.0.zip"));
    EXPECT_TRUE(fs::is_empty(support / "Imported"));
}

TEST_F(CenterModelTest, ACancelledUpdateKeepsTheInstalledCopyAndTheNextOneResumes) {
    bundle(audio, "1.0", applications);
    packagePadding = 1 << 20;
    useFeed(publishCatalog({{"audio", "2.0"}}));
    const fs::path zip = temp / "site/audio-2.0.zip";
    const HttpsResponse whole{.file = zip, .etag = "\"audio-2.0\""};
    const HttpsResponse half{.file = zip, .stallAfter = fs::file_size(zip) / 2, .etag = whole.etag};
    // The installation waits at its first look at running copies (step 1) until the cancel was
    // pressed (step 2).
    std::atomic<int> step{0};
    running = [&](const std::string&, const std::optional<fs::path>&) {
        if (int first = 0; step.compare_exchange_strong(first, 1)) {
            step.wait(1);
        }
        return false;
    };
    std::unique_ptr<CenterModel> model = makeModel();
    EXPECT_FALSE(model->canCancel());
    server.route("/audio-2.0.zip", half);
    QSignalSpy historyChanged(model.get(), &CenterModel::historyChanged);
    model->performAction(listed(*model, "audio"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->progress() > 0.3; }));
    ASSERT_TRUE(model->canCancel());
    model->cancelWork();
    EXPECT_FALSE(model->canCancel());
    waitUntilIdle(*model);
    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_EQ(model->status(), "已取消下载回响工坊，已下载的部分会在下次继续。");
    // The kept part, with the validator that lets the next attempt resume it, is in the disk use.
    const fs::path partial = CenterUpdateService::partialFile(
        *listed(*model, "audio").release->artifact, support / "Downloads");
    const std::uintmax_t kept = fs::file_size(partial);
    EXPECT_GT(kept, 0U);
    EXPECT_EQ(historyChanged.count(), 1);
    EXPECT_GT(model->history()->snapshot().diskUse.downloads, kept);

    server.route("/audio-2.0.zip", whole);
    model->performAction(listed(*model, "audio"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return step == 1; }));
    model->cancelWork();
    step = 2;
    step.notify_all();
    waitUntilIdle(*model);
    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_EQ(model->status(), "已取消安装回响工坊，原软件保留。");
    EXPECT_EQ(model->installedCopy(audio)->version, "1.0");
    EXPECT_NE(server.requests().back().head.find("Range: bytes=" + std::to_string(kept)),
              std::string::npos);

    // The next attempt takes the proven download and installs it; only that package stays.
    act(*model, "audio");
    EXPECT_EQ(model->status(), "回响工坊已安装 · 2.0");
    EXPECT_EQ(model->history()->snapshot().diskUse.downloads, fs::file_size(zip));
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
    const CenterInstaller::RunningApplication host{"com.apple.FinalCut",
                                                   "/Applications/Final Cut Pro.app"};
    const struct {
        std::size_t choice; // in the product chooser: film is first, audio third
        std::string file;
        std::vector<CenterInstaller::RunningApplication> running;
        bool opens;
        std::string status;
        std::string error;
        std::vector<std::string> calls;
    } rows[] = {
        {2, "Tool.PKG", {}, true, opened, "", {"openFile .pkg"}},
        {2, "Tool.dmg", {}, false, kept, unopened, {"openFile .dmg"}},
        {2, "Tool.tar", {}, true, kept, "请使用 ZIP、DMG 或 PKG 安装包。", {}},
        {0, "Film.zip", {}, true, opened, "", {"openFile .zip"}},
        {0, "Film.zip", {host}, true, kept, hostRuns, {"reveal .zip"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        workspace.calls.clear();
        workspace.opens = row.opens;
        workspace.running = row.running;
        model->setError(std::nullopt);
        prompts.answers = {temp.write("mine/" + row.file, "package"), row.choice};
        model->importInstaller();
        waitUntilIdle(*model);
        EXPECT_EQ(model->status(), row.status);
        EXPECT_EQ(model->error().value_or(""), row.error);
        EXPECT_EQ(workspace.calls, row.calls);
    }
}

TEST_F(CenterModelTest, AnImportedZipIsInspectedAndOnlyItsOwnProductsIsRecordedAndInstalled) {
    bundle(audio, "1.0", applications);
    std::unique_ptr<CenterModel> model = makeModel();
    // Another product's package, named as audio's: kept, yet neither recorded nor installed.
    prompts.answers = {zipBundle(bundle(library, "1.0", temp / "mine"), temp / "mine/other.zip"),
                       std::size_t{2}};
    model->importInstaller();
    waitUntilIdle(*model);
    EXPECT_EQ(model->status(), "安装包未通过检查");
    EXPECT_EQ(model->error().value_or(""), "安装包的软件标识或版本与发布信息不一致。");
    EXPECT_EQ(entries(support / "Imported").size(), 1U);
    EXPECT_TRUE(LocalLists::readPackages(support).empty());

    // The product chooser lists the non-preview products in order: audio is the third, and the
    // one the package's identifier names is the entry it opens with.
    model->setError(std::nullopt);
    prompts.answers = {
        zipBundle(bundle(audio, "1.5", temp / "mine"), temp / "mine/回响工坊 1.5.zip"),
        std::size_t{2}, std::size_t{0}};
    model->importInstaller();
    waitUntilIdle(*model);
    EXPECT_EQ(prompts.preselected, 2U);
    EXPECT_FALSE(model->error()) << *model->error();
    EXPECT_EQ(model->installedCopy(audio)->version, "1.5");
    CenterRules::LocalPackages packages = LocalLists::readPackages(support);
    ASSERT_TRUE(packages.contains("audio"));
    EXPECT_TRUE(fs::exists(packages["audio"].path));
    EXPECT_EQ(LocalLists::readReleases(support)["audio"].version, "1.5");
    EXPECT_EQ(prompts.asked.back(),
              "安装 KESTRYN 回响工坊 1.5？\n安装包已通过标识与签名完整性检查。\n本机版本：1.0（1）"
              "\n安装包版本：1.5（1）\n更新会保留个人数据和旧版备份。");
}

} // namespace
