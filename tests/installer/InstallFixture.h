#pragma once

#include "core/CenterError.h"
#include "core/Records.h"
#include "installer/ExtendedAttributes.h"
#include "installer/Install.h"
#include "installer/LegacyIcon.h"
#include "installer/Staging.h"
#include "tests/support/Bundle.h"
#include "tests/support/TemporaryDirectory.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

// An applications folder, a backup folder and real packages of the product "audio", for
// installation tests. The installed copy, when there is one, carries a legacy custom icon.
class InstallFixture : public ::testing::Test {
  public:
    static CenterProduct audioProduct() {
        CenterProduct result;
        result.id = "audio";
        result.bundleID = "local.soundlink";
        result.name = "Sample";
        result.minOS = "13.0";
        return result;
    }

    static CenterRelease release(const std::string& version, const std::string& build) {
        return {version, build, "2026-01-01", {}, {}};
    }

  protected:
    TemporaryDirectory temp;
    std::filesystem::path applications = temp / "Applications";
    std::filesystem::path backups = temp / "Backups";
    std::filesystem::path installedBundle = applications / "KESTRYN Sample.app";
    CenterProduct product = audioProduct();
    CenterInstaller::LinuxExtendedAttributes attributes;
    int packages = 0;

    void SetUp() override {
        if (!setAttribute(temp.path(), "probe", "x")) {
            GTEST_SKIP() << "this file system refuses user extended attributes";
        }
    }

    static bool notRunning(const std::string&, const std::optional<std::filesystem::path>&) {
        return false;
    }

    // A ZIP package holding Sample.app at this version.
    std::filesystem::path package(const std::string& version, const std::string& build,
                                  BundleContents contents = {}) {
        std::filesystem::path folder = temp / ("package-" + std::to_string(++packages));
        contents.version = version;
        contents.build = build;
        contents.files["Resources/version.txt"] = version + " " + build;
        return zipBundle(writeBundle(folder, "Sample.app", contents), folder / "Sample.zip");
    }

    // Installs version 1.0 (build 1) by hand, with a legacy icon on the bundle folder.
    void installOldVersion() {
        std::filesystem::create_directories(applications);
        BundleContents contents;
        contents.files["Resources/version.txt"] = "1.0 1";
        writeBundle(applications, installedBundle.filename().string(), contents);
        setAttribute(installedBundle, "com.apple.FinderInfo", std::string(32, 'F'));
        std::filesystem::path icon =
            temp.write(installedBundle / CenterInstaller::legacyIconFileName, "icon image");
        setAttribute(icon, "com.apple.FinderInfo", std::string(32, 'I'));
        setAttribute(icon, "com.apple.ResourceFork", std::string(2000, 'R'));
    }

    bool setAttribute(const std::filesystem::path& item, const std::string& name,
                      const std::string& value) {
        return attributes.writeAttribute(item, name, value).status ==
               CenterInstaller::AttributeResult::Status::done;
    }

    // The installed bundle as bytes and icon metadata, for before-and-after comparisons.
    struct Picture {
        std::map<std::string, std::string> tree;
        CenterInstaller::LegacyIconState icon;
        bool operator==(const Picture&) const = default;
    };
    Picture picture(const std::filesystem::path& bundle) {
        return {treeSnapshot(bundle), CenterInstaller::legacyIconState(bundle, attributes)};
    }

    std::vector<std::filesystem::path> entries(const std::filesystem::path& folder,
                                               const std::string& prefix = "") {
        std::vector<std::filesystem::path> found;
        std::error_code error;
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            if (it->path().filename().string().starts_with(prefix)) {
                found.push_back(it->path());
            }
        }
        return found;
    }
    std::vector<std::filesystem::path> stagingFolders() {
        return entries(applications, CenterInstaller::Staging::prefix);
    }

    // The version text the bundle's resources carry.
    std::string installedVersion(const std::filesystem::path& bundle) {
        std::ifstream stream(bundle / "Contents/Resources/version.txt");
        return std::string(std::istreambuf_iterator<char>(stream), {});
    }
};

// Runs the action and expects exactly this CenterError.
inline void expectCenterError(const std::function<void()>& action, CenterError::Kind kind,
                              const std::string& payload) {
    try {
        action();
        ADD_FAILURE() << "no error, expected " << payload;
    } catch (const CenterError& error) {
        EXPECT_EQ(error.kind(), kind);
        EXPECT_EQ(error.payload(), payload);
    }
}
