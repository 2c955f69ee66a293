#include "core/Digest.h"
#include "tests/installer/InstallFixture.h"

namespace {

namespace fs = std::filesystem;
using CenterInstaller::install;
using Kind = CenterError::Kind;

class Install : public InstallFixture {
  protected:
    InstallReceipt run(const fs::path& zip, const CenterRelease& wanted,
                       const CenterInstaller::RunningCheck& running = notRunning) {
        return install(zip, product, wanted, applications, backups, running);
    }
    void expectRefused(const fs::path& zip, const CenterRelease& wanted, Kind kind,
                       const std::string& message) {
        expectCenterError([&] { static_cast<void>(run(zip, wanted)); }, kind, message);
        EXPECT_TRUE(stagingFolders().empty());
    }
};

TEST_F(Install, FirstInstallationPlacesTheBundleUnderItsApplicationName) {
    InstallReceipt receipt = run(package("1.0", "1"), release("1.0", "1"));
    EXPECT_EQ(receipt.installedApp, (InstalledApp{installedBundle, "1.0", "1", "local.soundlink"}));
    EXPECT_FALSE(receipt.backupURL);
    EXPECT_EQ(installedVersion(installedBundle), "1.0 1");
    EXPECT_TRUE(stagingFolders().empty());
    EXPECT_FALSE(fs::exists(backups));
}

TEST_F(Install, ProductNameAlreadyStartingWithTheMakerIsKept) {
    product.name = "KESTRYN Sample";
    EXPECT_EQ(run(package("1.0", "1"), release("1.0", "1")).installedApp.url, installedBundle);
}

TEST_F(Install, UpdateSwapsContentsKeepsAFaithfulBackupAndDropsTheLegacyIcon) {
    installOldVersion();
    Picture old = picture(installedBundle);

    InstallReceipt receipt = run(package("2.0", "7"), release("2.0", "7"));
    EXPECT_EQ(receipt.installedApp.version, "2.0");
    EXPECT_EQ(installedVersion(installedBundle), "2.0 7");
    EXPECT_EQ(CenterInstaller::legacyIconState(installedBundle, attributes),
              CenterInstaller::LegacyIconState{});
    ASSERT_TRUE(receipt.backupURL);
    EXPECT_EQ(receipt.backupURL->parent_path(), backups);
    EXPECT_TRUE(receipt.backupURL->filename().string().starts_with("audio-"));
    EXPECT_EQ(picture(*receipt.backupURL), old);
    EXPECT_TRUE(stagingFolders().empty());
}

TEST_F(Install, SameVersionIsRefusedAndAGreaterBuildIsAccepted) {
    installOldVersion();
    expectRefused(package("1.0", "1"), release("1.0", "1"), Kind::install,
                  "已安装相同或更新版本，无需替换。");
    expectRefused(package("0.9", "5"), release("0.9", "5"), Kind::install,
                  "已安装相同或更新版本，无需替换。");
    EXPECT_EQ(run(package("1.0", "2"), release("1.0", "2")).installedApp.build, "2");
}

TEST_F(Install, ForeignItemAtTheTargetIsLeftAloneBeforeThePackageIsRead) {
    fs::create_directories(installedBundle);
    expectRefused(temp / "missing.zip", release("1.0", "1"), Kind::install,
                  "安装位置已有其他软件，请先处理同名应用。");
}

TEST_F(Install, BackupFolderInsideTheInstalledBundleIsRefused) {
    installOldVersion();
    for (const fs::path& inside : {installedBundle, installedBundle / "Contents/Backups"}) {
        expectCenterError(
            [&] {
                static_cast<void>(install(package("2.0", "1"), product, release("2.0", "1"),
                                          applications, inside, notRunning));
            },
            Kind::install, "备份目录必须位于待更新软件之外。");
    }
    EXPECT_FALSE(fs::exists(installedBundle / "Contents/Backups"));
}

TEST_F(Install, ReleaseAndLocationsAreCheckedFirst) {
    expectRefused(package("1.0", "1"), release("1.0", "1b"), Kind::invalid, "待安装版本信息无效。");
    expectCenterError(
        [&] {
            static_cast<void>(install(package("1.0", "1"), product, release("1.0", "1"),
                                      "https://example.com/Applications", backups, notRunning));
        },
        Kind::invalid, "安装路径必须位于本机。");
    CenterProduct film = product;
    film.id = "film";
    film.bundleID = "com.kestryn.film";
    expectCenterError(
        [&] {
            static_cast<void>(install(package("1.0", "1"), film, release("1.0", "1"), applications,
                                      backups, notRunning));
        },
        Kind::install, "澄光工坊包含 Final Cut Pro 插件，请退出 Final Cut Pro 后使用专用安装包。");
    EXPECT_FALSE(fs::exists(applications));
}

TEST_F(Install, ArtifactMustBeAZipOfTheRecordedSizeAndDigest) {
    fs::path zip = package("1.0", "1");
    CenterRelease wanted = release("1.0", "1");
    wanted.artifact =
        ReleaseArtifact{"https://example.com/Sample.zip", CenterCore::sha256(zip),
                        static_cast<std::int64_t>(fs::file_size(zip)), ArtifactFormat::dmg};
    expectRefused(zip, wanted, Kind::invalid, "独立软件更新必须使用 ZIP 安装包。");
    wanted.artifact->format = ArtifactFormat::zip;
    wanted.artifact->byteCount += 1;
    expectRefused(zip, wanted, Kind::checksum, "");
    wanted.artifact->byteCount -= 1;
    EXPECT_EQ(run(zip, wanted).installedApp.version, "1.0");
}

TEST_F(Install, PackageHoldingAnotherVersionIsRefusedAndLeavesNoBundle) {
    expectRefused(package("1.0", "1"), release("1.1", "1"), Kind::install,
                  "安装包的软件标识或版本与发布信息不一致。");
    EXPECT_FALSE(fs::exists(installedBundle));
}

TEST_F(Install, RunningApplicationStopsTheUpdateAtEachOfTheThreeChecks) {
    installOldVersion();
    Picture old = picture(installedBundle);
    fs::path zip = package("2.0", "1");
    for (int check = 1; check <= 3; ++check) {
        int calls = 0;
        auto runningAt = [&](const std::string& bundleID, const std::optional<fs::path>& url) {
            EXPECT_EQ(bundleID, "local.soundlink");
            EXPECT_EQ(url, std::optional<fs::path>(installedBundle));
            return ++calls == check;
        };
        expectCenterError([&] { static_cast<void>(run(zip, release("2.0", "1"), runningAt)); },
                          Kind::running, "Sample");
        EXPECT_EQ(picture(installedBundle), old) << "check " << check;
        EXPECT_TRUE(entries(backups).empty()) << "check " << check;
        EXPECT_TRUE(stagingFolders().empty());
    }
}

} // namespace
