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

CenterProduct product(std::string id = "audio", std::string bundleID = "local.soundlink") {
    CenterProduct result = InstallFixture::audioProduct();
    result.id = std::move(id);
    result.bundleID = std::move(bundleID);
    return result;
}

// Sets the running system's version for one scope.
class SystemVersion {
  public:
    explicit SystemVersion(const char* version) { ::setenv("KESTRYN_SYSTEM_VERSION", version, 1); }
    SystemVersion(const SystemVersion&) = delete;
    SystemVersion& operator=(const SystemVersion&) = delete;
    ~SystemVersion() { ::unsetenv("KESTRYN_SYSTEM_VERSION"); }
};

class PackageValidation : public ::testing::Test {
  protected:
    TemporaryDirectory temp;
    CenterRelease release = InstallFixture::release("1.0", "1");

    fs::path app(const BundleContents& contents = {}) {
        fs::remove_all(temp / "Sample.app");
        return writeBundle(temp.path(), "Sample.app", contents);
    }
    void expectRefused(const BundleContents& contents, const std::string& message,
                       const CenterProduct& target = product()) {
        fs::path bundle = app(contents);
        expectCenterError([&] { validateApp(bundle, target, release); }, Kind::install, message);
    }
    // An application whose Info.plist gets this value under this key.
    static BundleContents with(const char* key, std::function<plist_t()> value) {
        BundleContents contents;
        contents.customize = [key, value](plist_t info) {
            plist_dict_set_item(info, key, value());
        };
        return contents;
    }
    static BundleContents requiring(const std::string& minimum) {
        return with("LSMinimumSystemVersion",
                    [minimum] { return plist_new_string(minimum.c_str()); });
    }
    static BundleContents requiringByArchitecture(const char* architecture, plist_t value) {
        return with("LSMinimumSystemVersionByArchitecture", [architecture, value] {
            plist_t table = plist_new_dict();
            plist_dict_set_item(table, architecture, plist_copy(value));
            return table;
        });
    }
};

TEST(IndependentProduct, RegisteredProductsPassAndOthersAreRefused) {
    EXPECT_NO_THROW(validateIndependentProduct(product()));
    expectCenterError(
        [] { validateIndependentProduct(product("effects", "com.kestryn.effects.preview")); },
        Kind::install, "幻彩工坊目前仅为界面预览，尚无可安装插件。");
    const std::string film =
        "澄光工坊包含 Final Cut Pro 插件，请退出 Final Cut Pro 后使用专用安装包。";
    expectCenterError([] { validateIndependentProduct(product("film", "com.kestryn.film")); },
                      Kind::install, film);
    expectCenterError([] { validateIndependentProduct(product("audio", "com.kestryn.film")); },
                      Kind::install, film);
    const std::string unregistered = "此安装器仅用于已登记的 KESTRYN 独立软件。";
    expectCenterError([] { validateIndependentProduct(product("other")); }, Kind::install,
                      unregistered);
    expectCenterError([] { validateIndependentProduct(product("audio", "local.other")); },
                      Kind::install, unregistered);
}

TEST_F(PackageValidation, MatchingSealedApplicationPassesWithXMLOrBinaryInfo) {
    EXPECT_NO_THROW(validateApp(app(), product(), release));
    BundleContents binary;
    binary.binaryPlist = true;
    EXPECT_NO_THROW(validateApp(app(binary), product(), release));
}

TEST_F(PackageValidation, IdentityVersionAndBuildMustMatchExactly) {
    fs::path bundle = app();
    for (const auto& [target, wanted] :
         {std::pair{product("audio", "local.soundlinks"), release},
          std::pair{product(), InstallFixture::release("1.0.0", "1")},
          std::pair{product(), InstallFixture::release("1.0", "2")}}) {
        expectCenterError([&] { validateApp(bundle, target, wanted); }, Kind::install,
                          "安装包的软件标识或版本与发布信息不一致。");
    }
}

TEST_F(PackageValidation, ExecutableMustBeAPlainNameOfAnExecutableFile) {
    for (const char* name : {"../x", "a/b", "a\\b", ".", ".."}) {
        BundleContents contents;
        contents.executable = name;
        expectRefused(contents, noApplication);
    }
    expectRefused(with("CFBundleExecutable", [] { return plist_new_string("Other"); }),
                  noApplication);
    fs::path bundle = app();
    fs::permissions(bundle / "Contents/MacOS/Sample", fs::perms::owner_read);
    expectCenterError([&] { validateApp(bundle, product(), release); }, Kind::install,
                      noApplication);
}

TEST_F(PackageValidation, EveryRequirementMustBeWellFormedAndMetByTheRunningSystem) {
    expectRefused(requiring("13.0.1"), unmet);
    for (const char* malformed : {"13..1", "13.", "13.x", ""}) {
        expectRefused(requiring(malformed), unmet);
    }
    CenterProduct withoutMinimum = product();
    withoutMinimum.minOS = "";
    expectRefused({}, unmet, withoutMinimum);
    {
        SystemVersion system("14.2");
        EXPECT_NO_THROW(validateApp(app(requiring("13.0")), product(), release));
        expectRefused(requiring("99.0"), unmet);
    }
    SystemVersion system("13.0.0");
    EXPECT_NO_THROW(validateApp(app(requiring("13.0.0")), product(), release));
}

TEST_F(PackageValidation, OnlyTheArm64ArchitectureRequirementCounts) {
    plist_t high = plist_new_string("99.0");
    EXPECT_NO_THROW(validateApp(app(requiringByArchitecture("x86_64", high)), product(), release));
    expectRefused(requiringByArchitecture("arm64", high), unmet);
    plist_free(high);
}

TEST_F(PackageValidation, RequirementsOfTheWrongTypeAreInvalid) {
    expectRefused(with("LSMinimumSystemVersion", [] { return plist_new_uint(13); }),
                  badRequirement);
    expectRefused(
        with("LSMinimumSystemVersionByArchitecture", [] { return plist_new_string("13"); }),
        badRequirement);
    plist_t flag = plist_new_bool(1);
    expectRefused(requiringByArchitecture("arm64", flag), badRequirement);
    plist_free(flag);
}

TEST_F(PackageValidation, SignatureFailureCarriesTheReason) {
    fs::path bundle = app();
    temp.write(bundle / "Contents/Resources/data.bin", "changed");
    expectCenterError([&] { validateApp(bundle, product(), release); }, Kind::install,
                      "验证或安装未完成：" + bundle.string() +
                          ": 已签名的文件被修改：Resources/data.bin");
}

TEST_F(PackageValidation, SymbolicLinksAreRejectedAndMissingItemsAreNot) {
    fs::create_directory_symlink(temp.path(), temp / "Link");
    EXPECT_NO_THROW(rejectSymlink(temp.path()));
    EXPECT_NO_THROW(rejectSymlink(temp / "Missing"));
    expectCenterError([&] { rejectSymlink(temp / "Link"); }, Kind::install,
                      "安装目录不能是符号链接。");
}

TEST_F(PackageValidation, LocalPackageYieldsItsReleaseAndLeavesNoInspectionFolder) {
    auto inspectionFolders = [] {
        std::size_t count = 0;
        for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
            count += entry.path().filename().string().starts_with("kestryn-inspect-");
        }
        return count;
    };
    std::size_t before = inspectionFolders();
    BundleContents contents;
    contents.version = "1.2";
    contents.build = "45";
    fs::path zip = zipBundle(app(contents), temp / "Sample.zip");
    EXPECT_EQ(inspectLocalPackage(zip, product()),
              (CenterRelease{"1.2", "45", "local", {"本地导入的安装包"}, std::nullopt}));

    contents.version = "1.2b";
    zip = zipBundle(app(contents), temp / "Beta.zip");
    expectCenterError([&] { static_cast<void>(inspectLocalPackage(zip, product())); },
                      Kind::install, "安装包中的版本信息无效。");
    EXPECT_EQ(inspectionFolders(), before);
    expectCenterError(
        [] { static_cast<void>(inspectLocalPackage("https://example.com/a.zip", product())); },
        Kind::invalid, "安装包必须位于本机。");
}

} // namespace
