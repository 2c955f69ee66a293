#include "core/Digest.h"
#include "tests/installer/InstallFixture.h"

#include <tuple>

namespace {

namespace fs = std::filesystem;
using Kind = CenterError::Kind;

using Install = InstallFixture;

// A release whose artifact records this package's size and digest.
CenterRelease releaseOf(const fs::path& zip, ArtifactFormat format) {
    CenterRelease result = release("1.0", "1");
    result.artifact = ReleaseArtifact{"https://example.com/Sample.zip", CenterCore::sha256(zip),
                                      static_cast<std::int64_t>(fs::file_size(zip)), format};
    return result;
}

// The product gate is proven in PackageValidationTest, a wrong size beside a wrong digest in
// DigestTest.
TEST_F(Install, RefusalsLeaveTheApplicationsFolderEmpty) {
    fs::path zip = package("1.0", "1");
    CenterRelease otherDigest = releaseOf(zip, ArtifactFormat::zip);
    otherDigest.artifact->sha256[0] = otherDigest.artifact->sha256[0] == '0' ? '1' : '0';
    const std::vector<std::tuple<CenterRelease, fs::path, Kind, std::string>> rows = {
        {release("1.0", "1b"), applications, Kind::invalid, "待安装版本信息无效。"},
        {release("1.0", "1"), "https://example.com/Applications", Kind::invalid,
         "安装路径必须位于本机。"},
        {releaseOf(zip, ArtifactFormat::dmg), applications, Kind::invalid,
         "独立软件更新必须使用 ZIP 安装包。"},
        {otherDigest, applications, Kind::checksum, "安装包校验失败，请重新下载。"}};
    for (const auto& [wanted, folder, kind, sentence] : rows) {
        SCOPED_TRACE(sentence);
        EXPECT_THAT(
            [&] {
                static_cast<void>(
                    CenterInstaller::install(zip, product, wanted, folder, backups, notRunning));
            },
            ThrowsCenterError(kind, sentence));
        EXPECT_EQ(entries(applications), std::vector<fs::path>{});
    }
}

TEST_F(Install, SameOrOlderVersionIsRefusedAndAGreaterBuildIsAccepted) {
    installOldVersion();
    for (const auto& [version, build] : {std::pair{"1.0", "1"}, std::pair{"0.9", "5"}}) {
        EXPECT_THAT(
            [&] { static_cast<void>(run(package(version, build), release(version, build))); },
            ThrowsCenterError(Kind::install, "已安装相同或更新版本，无需替换。"));
    }
    EXPECT_TRUE(stagingFolders().empty());
    EXPECT_EQ(run(package("1.0", "2"), release("1.0", "2")).installedApp.build, "2");
}

TEST_F(Install, ForeignItemAtTheTargetIsLeftAloneBeforeThePackageIsRead) {
    fs::create_directories(installedBundle);
    EXPECT_THAT([&] { static_cast<void>(run(temp / "missing.zip", release("1.0", "1"))); },
                ThrowsCenterError(Kind::install, "安装位置已有其他软件，请先处理同名应用。"));
    EXPECT_EQ(entries(applications), std::vector<fs::path>{installedBundle});
    EXPECT_TRUE(fs::is_empty(installedBundle));
}

TEST_F(Install, BackupFolderInsideTheInstalledBundleIsRefused) {
    installOldVersion();
    for (const fs::path& inside : {installedBundle, installedBundle / "Contents/Backups"}) {
        backups = inside;
        EXPECT_THAT([&] { static_cast<void>(run(package("2.0", "1"), release("2.0", "1"))); },
                    ThrowsCenterError(Kind::install, "备份目录必须位于待更新软件之外。"));
    }
    EXPECT_FALSE(fs::exists(installedBundle / "Contents/Backups"));
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
        EXPECT_THAT([&] { static_cast<void>(run(zip, release("2.0", "1"), runningAt)); },
                    ThrowsCenterError(Kind::running, "请先退出“Sample”，再安装更新。"));
        EXPECT_EQ(picture(installedBundle), old) << "check " << check;
        EXPECT_TRUE(entries(backups).empty()) << "check " << check;
        EXPECT_TRUE(stagingFolders().empty()) << "check " << check;
    }
}

} // namespace
