#include "core/Detection.h"

#include "core/Registry.h"
#include "tests/support/PropertyListBytes.h"
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

    // Writes folder/name with an Info.plist holding the given keys (a key with no value is left
    // out). Real property lists of both forms are read in RealInfoPlistsReadAsTheirToolsWrote.
    std::filesystem::path bundle(const std::filesystem::path& folder, const std::string& name,
                                 const char* bundleID, const char* version, const char* build) {
        std::map<std::string, std::string> texts;
        for (const auto& [key, value] : {std::pair{"CFBundleIdentifier", bundleID},
                                         std::pair{"CFBundleShortVersionString", version},
                                         std::pair{"CFBundleVersion", build}}) {
            if (value != nullptr) {
                texts[key] = value;
            }
        }
        std::filesystem::path app = folder / name;
        root.write(app / "Contents" / "Info.plist", propertyListBytes(texts));
        return app;
    }
};

TEST_F(Detection, ABundleMissingAKeyOrNotAPropertyListIsNotAnApplication) {
    EXPECT_FALSE(CenterCore::readInstalledApp(bundle(system, "A.app", "x.y.z", "1", nullptr)));
    EXPECT_FALSE(CenterCore::readInstalledApp(bundle(system, "B.app", nullptr, "1", "1")));
    root.write("Applications/C.app/Contents/Info.plist", "not a property list");
    EXPECT_FALSE(CenterCore::readInstalledApp(system / "C.app"));
    root.write("Applications/D.app/Contents/Info.plist", "");
    EXPECT_FALSE(CenterCore::readInstalledApp(system / "D.app"));
    EXPECT_FALSE(CenterCore::readInstalledApp(system / "Missing.app"));
}

TEST_F(Detection, RealInfoPlistsReadAsTheirToolsWrote) {
    const std::filesystem::path data = KESTRYN_TEST_DATA "/info-plist";
    auto install = [&](const std::filesystem::path& plist) {
        std::filesystem::path app = root / "real" / (plist.stem().string() + ".app");
        std::filesystem::create_directories(app / "Contents");
        std::filesystem::copy_file(plist, app / "Contents" / "Info.plist");
        return CenterCore::readInstalledApp(app);
    };
    const std::filesystem::path binary =
        data / "fastlane" / "bin__very-capable-app.app__Info.plist";
    const std::filesystem::path xml =
        data / "sparkle" / "DevSignedAppVersion2.app__Contents__Info.plist";
    EXPECT_EQ(install(binary), (InstalledApp{root / "real" / (binary.stem().string() + ".app"),
                                             "1.0", "1", "org.fastlane.very-capable-app"}));
    EXPECT_EQ(install(xml), (InstalledApp{root / "real" / (xml.stem().string() + ".app"), "2.0",
                                          "2", "com.zoo.SignedApp"}));
    EXPECT_FALSE(install(data / "sparkle" / "SparkleTestCodeSignApp.app__Contents__Info.plist"));
    EXPECT_FALSE(install(data / "fastlane" / "xcarchive__very-capable-app.xcarchive__Info.plist"));
}

TEST_F(Detection, TheSystemFolderWinsThenTheFirstNameInCodePointOrder) {
    bundle(user, "Aardvark.app", "local.soundlink", "9", "9");
    auto beta = bundle(system, "Beta.app", "local.soundlink", "1", "1");
    bundle(system, "alpha.app", "local.soundlink", "2", "2");
    auto found = CenterCore::detectInstalled(audio, {system, user});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->url, beta);

    found = CenterCore::detectInstalled(audio, {root / "nowhere", user});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->version, "9");
}

TEST_F(Detection, MatchesByBundleIdentifierAndAppExtensionOnlyAndNeverAPreview) {
    bundle(system, "Other.app", "local.other", "1", "1");
    bundle(system, ".Hidden.app", "local.soundlink", "1", "1");
    bundle(system, "Tool.app.zip", "local.soundlink", "1", "1");
    bundle(system, "Nested/Deep.app", "local.soundlink", "1", "1");
    bundle(system, "Cased.app", "local.SoundLink", "1", "1");
    EXPECT_FALSE(CenterCore::detectInstalled(audio, {system}));
    bundle(system, "Effects.app", "com.kestryn.effects.preview", "1", "1");
    CenterProduct effects = audio;
    effects.id = "effects";
    effects.bundleID = "com.kestryn.effects.preview";
    EXPECT_FALSE(CenterCore::detectInstalled(effects, {system}));

    auto upper = bundle(system, "Tool.APP", "local.soundlink", "3", "3");
    auto found = CenterCore::detectInstalled(audio, {system});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->url, upper);
}

// The model's one pass must find exactly what a scan per product finds, in every ordering case.
TEST_F(Detection, OnePassFindsWhatEachProductsOwnScanFinds) {
    bundle(user, "Aardvark.app", "local.soundlink", "9", "9");
    bundle(system, "Beta.app", "local.soundlink", "1", "1");
    bundle(system, "alpha.app", "local.soundlink", "2", "2");
    bundle(system, "Tool.APP", "local.captionlink.workflow", "3", "3");
    bundle(user, "Library.app", "local.tavelo.asset-library", "4", "4");
    bundle(system, "Effects.app", "com.kestryn.effects.preview", "1", "1");
    bundle(system, "Broken.app", nullptr, "1", "1");
    bundle(user, "Café.app", "com.kestryn.video-assistant.preview", "5", "5");
    bundle(user, "Cafe\u0301 2.app", "com.kestryn.video-assistant.preview", "6", "6");
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

TEST(ApplicationDirectories, AreTheSystemFolderThenTheHomeFolder) {
    const char* saved = std::getenv("HOME");
    setenv("HOME", "/home/someone", 1);
    auto folders = CenterCore::applicationDirectories();
    saved ? setenv("HOME", saved, 1) : unsetenv("HOME");
    EXPECT_EQ(folders,
              (std::vector<std::filesystem::path>{"/Applications", "/home/someone/Applications"}));
}

} // namespace
