#include "core/Detection.h"

#include "core/Registry.h"
#include "tests/support/InfoPlist.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <map>

namespace {

class Detection : public ::testing::Test {
  protected:
    TemporaryDirectory root;
    std::filesystem::path system = root / "Applications";
    std::filesystem::path user = root / "home" / "Applications";
    CenterProduct audio{"audio", "local.soundlink", "回响工坊", "", "", "", {}, "13.0", {}};

    // Writes folder/name with an Info.plist holding the identifier, the version and, under `key`,
    // the same number as the build. Real property lists of both forms are read in
    // RealInfoPlistsReadAsTheirToolsWrote.
    std::filesystem::path bundle(const std::filesystem::path& folder, const std::string& name,
                                 const std::string& bundleID, const std::string& version,
                                 const char* key = "CFBundleVersion") const {
        const std::filesystem::path app = folder / name;
        root.write(app / "Contents" / "Info.plist",
                   infoPlist({{"CFBundleIdentifier", plistString(bundleID)},
                              {"CFBundleShortVersionString", plistString(version)},
                              {key, plistString(version)}}));
        return app;
    }
};

TEST_F(Detection, RealInfoPlistsReadAsTheirToolsWrote) {
    // The version, build and identifier of a bundle holding a copy of `plist`.
    const auto identity = [&](const std::string& plist) -> std::optional<std::string> {
        const std::filesystem::path app = root / (std::filesystem::path(plist).stem() += ".app");
        root.write(app / "Contents/Info.plist",
                   fileContents(KESTRYN_TEST_DATA "/info-plist/" + plist));
        const std::optional<InstalledApp> found = CenterCore::readInstalledApp(app);
        return found ? std::optional(found->version + " " + found->build + " " + found->bundleID)
                     : std::nullopt;
    };
    EXPECT_EQ(identity("fastlane/bin__very-capable-app.app__Info.plist"),
              "1.0 1 org.fastlane.very-capable-app");
    EXPECT_EQ(identity("sparkle/DevSignedAppVersion2.app__Contents__Info.plist"),
              "2.0 2 com.zoo.SignedApp");
    EXPECT_EQ(identity("sparkle/SparkleTestCodeSignApp.app__Contents__Info.plist"), std::nullopt);
    EXPECT_EQ(identity("fastlane/xcarchive__very-capable-app.xcarchive__Info.plist"), std::nullopt);
}

TEST_F(Detection, MatchesACompleteBundleByIdentifierAndAppExtensionOnlyAndNeverAPreview) {
    bundle(system, "Other.app", "local.other", "1");
    bundle(system, ".Hidden.app", "local.soundlink", "1");
    bundle(system, "Tool.app.zip", "local.soundlink", "1");
    bundle(system, "Nested/Deep.app", "local.soundlink", "1");
    bundle(system, "Cased.app", "local.SoundLink", "1");
    bundle(system, "NoBuild.app", "local.soundlink", "1", "CFBundleVersionString");
    root.write("Applications/Text.app/Contents/Info.plist", "not a property list");
    EXPECT_FALSE(CenterCore::detectInstalled(audio, {system}));
    bundle(system, "Effects.app", "com.kestryn.effects.preview", "1");
    CenterProduct effects = audio;
    effects.id = "effects";
    effects.bundleID = "com.kestryn.effects.preview";
    EXPECT_FALSE(CenterCore::detectInstalled(effects, {system}));

    auto upper = bundle(system, "Tool.APP", "local.soundlink", "3");
    auto found = CenterCore::detectInstalled(audio, {system});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->url, upper);
}

// The system folder wins, then the first name in code point order; the model's one pass finds
// exactly what a scan per product finds, in every ordering case.
TEST_F(Detection, TheFirstFolderThenTheFirstNameWinsInOnePassAsInEachProductsScan) {
    bundle(user, "Aardvark.app", "local.soundlink", "9");
    const auto beta = bundle(system, "Beta.app", "local.soundlink", "1");
    bundle(system, "alpha.app", "local.soundlink", "2");
    EXPECT_EQ(CenterCore::detectInstalled(audio, {system, user}).value().url, beta);
    EXPECT_EQ(CenterCore::detectInstalled(audio, {root / "nowhere", user}).value().version, "9");
    bundle(system, "Tool.APP", "local.captionlink.workflow", "3");
    bundle(user, "Library.app", "local.tavelo.asset-library", "4");
    bundle(system, "Effects.app", "com.kestryn.effects.preview", "1");
    bundle(system, "Broken.app", "", "1");
    bundle(user, "Café.app", "com.kestryn.video-assistant.preview", "5");
    bundle(user, "Cafe\u0301 2.app", "com.kestryn.video-assistant.preview", "6");
    std::vector<CenterProduct> products;
    for (const auto& [id, bundleID] : CenterCore::productBundleIDs()) {
        products.push_back({id, bundleID, id, "", "", "", {}, "13.0", {}});
    }
    for (const std::vector<std::filesystem::path>& folders :
         {std::vector{system, user}, std::vector{user, system}, std::vector{root / "nowhere"}}) {
        std::map<std::string, InstalledApp> expected;
        for (const CenterProduct& product : products) {
            if (auto found = CenterCore::detectInstalled(product, folders)) {
                expected.emplace(product.id, *found);
            }
        }
        EXPECT_EQ(CenterCore::detectAllInstalled(products, folders), expected);
    }
}

} // namespace
