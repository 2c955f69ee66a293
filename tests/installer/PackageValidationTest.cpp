#include "installer/PackageValidation.h"

#include "tests/installer/InstallFixture.h"

#include <cstdlib>

namespace {

namespace fs = std::filesystem;
using namespace CenterInstaller;
using Kind = CenterError::Kind;

const char* const noApplication = "安装包缺少有效的应用程序。";
const char* const badRequirement = "安装包的 macOS 版本要求无效。";
const char* const unmet = "当前 macOS 版本不满足此软件的要求。";
const char* const mismatch = "安装包的软件标识或版本与发布信息不一致。";

// Info.plist entries asking for this system version, overall or for one architecture.
std::string requiring(const std::string& minimum) {
    return "<key>LSMinimumSystemVersion</key><string>" + minimum + "</string>";
}
std::string requiringOn(const std::string& architecture, const std::string& value) {
    return "<key>LSMinimumSystemVersionByArchitecture</key><dict><key>" + architecture + "</key>" +
           value + "</dict>";
}

class PackageValidation : public ::testing::Test {
  protected:
    TemporaryDirectory temp;

    fs::path app(const BundleContents& contents = {}) {
        fs::remove_all(temp / "Sample.app");
        return writeBundle(temp.path(), "Sample.app", contents);
    }
    // Validates a new application on a system of this version.
    void validate(const BundleContents& contents, const std::string& system = "13.0",
                  const CenterProduct& target = sampleProduct(),
                  const CenterRelease& wanted = release("1.0", "1")) {
        ::setenv("KESTRYN_SYSTEM_VERSION", system.c_str(), 1);
        validateApp(app(contents), target, wanted);
    }
    void TearDown() override {
        ::unsetenv("KESTRYN_SYSTEM_VERSION");
        ::setenv("TMPDIR", temp.path().parent_path().c_str(), 1);
    }
};

TEST(IndependentProduct, OnlyRegisteredProductsWithTheirOwnIdentifierPass) {
    EXPECT_NO_THROW(validateIndependentProduct(sampleProduct()));
    const std::string film =
        "澄光工坊包含 Final Cut Pro 插件，请退出 Final Cut Pro 后使用专用安装包。";
    const std::string unregistered = "此安装器仅用于已登记的 KESTRYN 独立软件。";
    for (const auto& [refused, sentence] :
         {std::pair{sampleProduct("effects", "com.kestryn.effects.preview"),
                    std::string("幻彩工坊目前仅为界面预览，尚无可安装插件。")},
          std::pair{sampleProduct("film", "com.kestryn.film"), film},
          std::pair{sampleProduct("audio", "com.kestryn.film"), film},
          std::pair{sampleProduct("other"), unregistered},
          std::pair{sampleProduct("audio", "local.other"), unregistered}}) {
        SCOPED_TRACE(refused.id + " " + refused.bundleID);
        EXPECT_THAT([&] { validateIndependentProduct(refused); },
                    ThrowsCenterError(Kind::install, sentence));
    }
}

// An empty sentence: the application passes.
TEST_F(PackageValidation, EachFaultOfTheApplicationHasItsSentence) {
    CenterProduct noMinimum = sampleProduct();
    noMinimum.minOS = "";
    struct Row {
        BundleContents contents;
        std::string sentence;
        std::string system = "13.0";
        CenterProduct target = sampleProduct();
        CenterRelease wanted = release("1.0", "1");
    };
    std::vector<Row> rows = {
        {{}, ""},
        {{.info = requiring("13.0")}, "", "14.2"},
        {{.info = requiringOn("x86_64", "<string>99.0</string>")}, ""},
        {{}, mismatch, "13.0", sampleProduct("audio", "local.soundlinks")},
        {{}, mismatch, "13.0", sampleProduct(), release("1.0.0", "1")},
        {{}, mismatch, "13.0", sampleProduct(), release("1.0", "2")},
        {{.info = "<key>CFBundleExecutable</key><string>Other</string>"}, noApplication},
        {{.info = requiring("13.0.1")}, unmet},
        {{}, unmet, "13.0", noMinimum},
        {{.info = requiringOn("arm64", "<string>99.0</string>")}, unmet},
        {{.info = "<key>LSMinimumSystemVersion</key><integer>13</integer>"}, badRequirement},
        {{.info = "<key>LSMinimumSystemVersionByArchitecture</key><string>13</string>"},
         badRequirement},
        {{.info = requiringOn("arm64", "<true/>")}, badRequirement}};
    for (const char* name : {"../x", "a/b", "a\\b", ".", ".."}) {
        rows.push_back({{.executable = name}, noApplication});
    }
    // Numeric versions are proven in VersionsTest; a malformed requirement is never met.
    rows.push_back({{.info = requiring("13.x")}, unmet});
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE("row " + std::to_string(i));
        auto validating = [&] { validate(row.contents, row.system, row.target, row.wanted); };
        if (row.sentence.empty()) {
            EXPECT_NO_THROW(validating());
        } else {
            EXPECT_THAT(validating, ThrowsCenterError(Kind::install, row.sentence));
        }
    }
}

// A file changed after sealing is refused by the seal (ResourceSealTest) and, through
// validation, by the restore of a tampered backup (RestoreTest).
TEST_F(PackageValidation, AnExecutableThatCannotRunIsNoApplication) {
    fs::path bundle = app();
    fs::permissions(bundle / "Contents/MacOS/Sample", fs::perms::owner_read);
    EXPECT_THAT([&] { validateApp(bundle, sampleProduct(), release("1.0", "1")); },
                ThrowsCenterError(Kind::install, noApplication));
}

TEST_F(PackageValidation, SymbolicLinksAreRejectedAndMissingItemsAreNot) {
    fs::create_directory_symlink(temp.path(), temp / "Link");
    EXPECT_NO_THROW(rejectSymlink(temp.path()));
    EXPECT_NO_THROW(rejectSymlink(temp / "Missing"));
    EXPECT_THAT([&] { rejectSymlink(temp / "Link"); },
                ThrowsCenterError(Kind::install, "安装目录不能是符号链接。"));
}

// The release read without unpacking is the inspection's, and so is every refusal.
TEST_F(PackageValidation, LocalPackageYieldsItsReleaseAndLeavesNoInspectionFolder) {
    // Inspection folders go under this test's folder, apart from other programs' ones.
    ::setenv("TMPDIR", temp.path().c_str(), 1);
    fs::path zip = zipBundle(app({.version = "1.2", .build = "45"}), temp / "Sample.zip");
    const CenterRelease local{"1.2", "45", "local", {"本地导入的安装包"}, std::nullopt};
    EXPECT_EQ(inspectLocalPackage(zip, sampleProduct()), local);
    EXPECT_EQ(packagedRelease(zip, sampleProduct()), local);

    zip = zipBundle(app({.version = "1.2b"}), temp / "Beta.zip");
    for (const auto reading : {inspectLocalPackage, packagedRelease}) {
        EXPECT_THAT(
            [&] { static_cast<void>(reading(zip, sampleProduct(), systemOperations(), {})); },
            ThrowsCenterError(Kind::install, "安装包中的版本信息无效。"));
    }
    EXPECT_EQ(entries(temp.path(), "kestryn-inspect-"), std::vector<fs::path>{});
    EXPECT_THAT(
        [] { static_cast<void>(packagedRelease("https://example.com/a.zip", sampleProduct())); },
        ThrowsCenterError(Kind::invalid, "安装包必须位于本机。"));
}

} // namespace
