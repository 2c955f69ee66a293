#pragma once

#include "core/FileContents.h"
#include "installer/Install.h"
#include "installer/LegacyIcon.h"
#include "installer/Staging.h"
#include "tests/support/Bundle.h"
#include "tests/support/CenterErrorMatcher.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

// The product whose application is Sample.app: "audio", unless other identifiers are given.
inline CenterProduct sampleProduct(const std::string& id = "audio",
                                   const std::string& bundleID = "local.soundlink") {
    return {id, bundleID, "Sample", "", "", "", {}, "13.0", {}};
}

// A release at this version and build, without an artifact.
inline CenterRelease release(const std::string& version, const std::string& build) {
    return {version, build, "2026-01-01", {}, {}};
}

// An applications folder, a backup folder and real packages of the product "audio", on a file
// system with user extended attributes. The installed copy carries a legacy custom icon.
class InstallFixture : public ::testing::Test {
  protected:
    TemporaryDirectory temp;
    std::filesystem::path applications = temp / "Applications";
    std::filesystem::path backups = temp / "Backups";
    std::filesystem::path installedBundle = applications / "KESTRYN Sample.app";
    CenterProduct product = sampleProduct();
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

    InstallReceipt
    run(const std::filesystem::path& zip, const CenterRelease& wanted,
        const CenterInstaller::RunningCheck& running = notRunning,
        CenterInstaller::InstallOperations& operations = CenterInstaller::systemOperations()) {
        return CenterInstaller::install(zip, product, wanted, applications, backups, running,
                                        operations);
    }

    // A ZIP package holding Sample.app at this version, which its resources also carry.
    std::filesystem::path package(const std::string& version, const std::string& build) {
        std::filesystem::path folder = temp / ("package-" + std::to_string(++packages));
        const BundleContents contents{.version = version,
                                      .build = build,
                                      .files = {{"Resources/version.txt", version + " " + build}}};
        return zipBundle(writeBundle(folder, "Sample.app", contents), folder / "Sample.zip");
    }

    // Installs version 1.0 (build 1) by hand, with a legacy icon on the bundle folder.
    void installOldVersion() {
        writeBundle(applications, installedBundle.filename().string(),
                    {.files = {{"Resources/data.bin", "resource data"},
                               {"Resources/version.txt", "1.0 1"}}});
        setAttribute(installedBundle, "com.apple.FinderInfo", std::string("\0\0\0\0icon", 8));
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

    // A bundle as bytes and icon metadata, for before-and-after comparisons.
    struct Picture {
        std::map<std::string, std::string> tree;
        CenterInstaller::LegacyIconState icon;
        bool operator==(const Picture&) const = default;
    };
    Picture picture(const std::filesystem::path& bundle) {
        return {treeSnapshot(bundle), CenterInstaller::legacyIconState(bundle, attributes)};
    }

    std::vector<std::filesystem::path> stagingFolders() {
        return entries(applications, CenterInstaller::Staging::prefix);
    }

    // The version text the bundle's resources carry.
    static std::string installedVersion(const std::filesystem::path& bundle) {
        return CenterCore::readFileContents(bundle / "Contents/Resources/version.txt", 64);
    }
};
