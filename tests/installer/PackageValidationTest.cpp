#include "installer/PackageValidation.h"

#include "core/CenterError.h"
#include "tests/support/Bundle.h"
#include "tests/support/TemporaryDirectory.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace CenterInstaller;

const char* const mismatch = "安装包的软件标识或版本与发布信息不一致。";
const char* const noApplication = "安装包缺少有效的应用程序。";
const char* const badRequirement = "安装包的 macOS 版本要求无效。";
const char* const unmet = "当前 macOS 版本不满足此软件的要求。";

CenterProduct product(std::string id = "audio", std::string bundleID = "local.soundlink") {
    CenterProduct result;
    result.id = std::move(id);
    result.bundleID = std::move(bundleID);
    result.name = "Sample";
    result.minOS = "13.0";
    return result;
}

CenterRelease release(std::string version = "1.0", std::string build = "1") {
    return {std::move(version), std::move(build), "2026-01-01", {}, {}};
}

void expectError(const std::function<void()>& action, CenterError::Kind kind,
                 const std::string& message) {
    try {
        action();
        FAIL() << "no error, expected " << message;
    } catch (const CenterError& error) {
        EXPECT_EQ(error.kind(), kind);
        EXPECT_EQ(error.payload(), message);
    }
}

// Sets the running system's version for one test.
class SystemVersion {
  public:
    explicit SystemVersion(const char* version) { ::setenv(name, version, 1); }
    SystemVersion(const SystemVersion&) = delete;
    SystemVersion& operator=(const SystemVersion&) = delete;
    ~SystemVersion() { ::unsetenv(name); }

  private:
    static constexpr const char* name = "KESTRYN_SYSTEM_VERSION";
};

class PackageValidation : public ::testing::Test {
  protected:
    TemporaryDirectory temp;

    fs::path app(BundleContents contents = {}) {
        fs::remove_all(temp / "Sample.app");
        return writeBundle(temp.path(), "Sample.app", contents);
    }
    void expectInvalidApp(const BundleContents& contents, const std::string& message,
                          const CenterProduct& target = product()) {
        fs::path bundle = app(contents);
        expectError([&] { validateApp(bundle, target, release()); }, CenterError::Kind::install,
                    message);
    }
    static BundleContents requiring(const std::string& minimum) {
        BundleContents contents;
        contents.customize = [minimum](plist_t info) {
            plist_dict_set_item(info, "LSMinimumSystemVersion", plist_new_string(minimum.c_str()));
        };
        return contents;
    }
};

TEST(IndependentProduct, RegisteredProductsPassAndOthersAreRefused) {
    EXPECT_NO_THROW(validateIndependentProduct(product()));
    expectError(
        [] { validateIndependentProduct(product("effects", "com.kestryn.effects.preview")); },
        CenterError::Kind::install, "幻彩工坊目前仅为界面预览，尚无可安装插件。");
    const std::string film =
        "澄光工坊包含 Final Cut Pro 插件，请退出 Final Cut Pro 后使用专用安装包。";
    expectError([] { validateIndependentProduct(product("film", "com.kestryn.film")); },
                CenterError::Kind::install, film);
    expectError([] { validateIndependentProduct(product("audio", "com.kestryn.film")); },
                CenterError::Kind::install, film);
    const std::string unregistered = "此安装器仅用于已登记的 KESTRYN 独立软件。";
    expectError([] { validateIndependentProduct(product("other", "local.soundlink")); },
                CenterError::Kind::install, unregistered);
    expectError([] { validateIndependentProduct(product("audio", "local.other")); },
                CenterError::Kind::install, unregistered);
}

TEST_F(PackageValidation, MatchingSealedApplicationPassesInXMLAndBinaryForm) {
    EXPECT_NO_THROW(validateApp(app(), product(), release()));
    BundleContents binary;
    binary.binaryPlist = true;
    EXPECT_NO_THROW(validateApp(app(binary), product(), release()));
}

TEST_F(PackageValidation, IdentityVersionOrBuildMismatchIsRefused) {
    fs::path bundle = app();
    for (auto [target, wanted] :
         {std::pair{product("audio", "local.soundlinks"), release()},
          std::pair{product(), release("1.0.0")}, std::pair{product(), release("1.0", "2")}}) {
        expectError([&] { validateApp(bundle, target, wanted); }, CenterError::Kind::install,
                    mismatch);
    }
    expectError([&] { validateApp(temp / "Missing.app", product(), release()); },
                CenterError::Kind::install, mismatch);
}

TEST_F(PackageValidation, ExecutableMustBeAPlainNameOfAnExecutableFile) {
    for (const char* name : {"../x", "a/b", "a\\b", ".", ".."}) {
        BundleContents contents;
        contents.executable = name;
        expectInvalidApp(contents, noApplication);
    }
    BundleContents missing;
    missing.customize = [](plist_t info) {
        plist_dict_set_item(info, "CFBundleExecutable", plist_new_string("Other"));
    };
    expectInvalidApp(missing, noApplication);

    fs::path bundle = app();
    fs::permissions(bundle / "Contents/MacOS/Sample",
                    fs::perms::owner_read | fs::perms::owner_write);
    expectError([&] { validateApp(bundle, product(), release()); }, CenterError::Kind::install,
                noApplication);
}

TEST_F(PackageValidation, SystemRequirementsAreCheckedAgainstTheRunningSystem) {
    expectInvalidApp(requiring("99.0"), unmet);
    {
        SystemVersion system("14.2");
        EXPECT_NO_THROW(validateApp(app(requiring("13.0")), product(), release()));
    }
    SystemVersion system("13.0.0");
    EXPECT_NO_THROW(validateApp(app(requiring("13.0.0")), product(), release()));
    for (const char* malformed : {"13..1", "13.", "13.x", ""}) {
        expectInvalidApp(requiring(malformed), unmet);
    }
    CenterProduct withoutMinimum = product();
    withoutMinimum.minOS = "";
    expectInvalidApp({}, unmet, withoutMinimum);
}

TEST_F(PackageValidation, DefaultSystemIs13) {
    EXPECT_EQ(currentSystemVersion(), "13.0");
    expectInvalidApp(requiring("13.0.1"), unmet);
}

TEST_F(PackageValidation, OnlyTheArm64EntryOfTheArchitectureTableCounts) {
    BundleContents contents;
    contents.customize = [](plist_t info) {
        plist_t table = plist_new_dict();
        plist_dict_set_item(table, "x86_64", plist_new_string("99.0"));
        plist_dict_set_item(info, "LSMinimumSystemVersionByArchitecture", table);
    };
    EXPECT_NO_THROW(validateApp(app(contents), product(), release()));
    contents.customize = [](plist_t info) {
        plist_t table = plist_new_dict();
        plist_dict_set_item(table, "arm64", plist_new_string("14.0"));
        plist_dict_set_item(info, "LSMinimumSystemVersionByArchitecture", table);
    };
    expectInvalidApp(contents, unmet);
}

TEST_F(PackageValidation, RequirementsOfTheWrongTypeAreInvalid) {
    BundleContents contents;
    contents.customize = [](plist_t info) {
        plist_dict_set_item(info, "LSMinimumSystemVersion", plist_new_uint(13));
    };
    expectInvalidApp(contents, badRequirement);
    contents.customize = [](plist_t info) {
        plist_t table = plist_new_dict();
        plist_dict_set_item(table, "arm64", plist_new_bool(1));
        plist_dict_set_item(info, "LSMinimumSystemVersionByArchitecture", table);
    };
    expectInvalidApp(contents, badRequirement);
    contents.customize = [](plist_t info) {
        plist_dict_set_item(info, "LSMinimumSystemVersionByArchitecture", plist_new_string("13"));
    };
    expectInvalidApp(contents, badRequirement);
}

TEST_F(PackageValidation, SignatureFailureCarriesTheReason) {
    fs::path bundle = app();
    temp.write(bundle / "Contents/Resources/data.bin", "changed");
    expectError([&] { validateApp(bundle, product(), release()); }, CenterError::Kind::install,
                "验证或安装未完成：" + bundle.string() +
                    ": 已签名的文件被修改：Resources/data.bin");
}

TEST_F(PackageValidation, SymbolicLinksAreRejectedAndMissingItemsAreNot) {
    fs::create_directory(temp / "Applications");
    fs::create_directory_symlink(temp / "Applications", temp / "Link");
    EXPECT_NO_THROW(rejectSymlink(temp / "Applications"));
    EXPECT_NO_THROW(rejectSymlink(temp / "Missing"));
    expectError([&] { rejectSymlink(temp / "Link"); }, CenterError::Kind::install,
                "安装目录不能是符号链接。");
}

TEST_F(PackageValidation, LocalPackageYieldsItsReleaseAndLeavesNothingBehind) {
    BundleContents contents;
    contents.version = "1.2";
    contents.build = "45";
    fs::path zip = zipBundle(app(contents), temp / "Sample.zip");
    auto inspectFolders = [] {
        std::size_t count = 0;
        for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
            count += entry.path().filename().string().starts_with("kestryn-inspect-");
        }
        return count;
    };
    std::size_t before = inspectFolders();

    CenterRelease local = inspectLocalPackage(zip, product());
    EXPECT_EQ(local, (CenterRelease{"1.2", "45", "local", {"本地导入的安装包"}, std::nullopt}));
    EXPECT_EQ(inspectFolders(), before);

    contents.version = "1.2b";
    zip = zipBundle(app(contents), temp / "Beta.zip");
    expectError([&] { static_cast<void>(inspectLocalPackage(zip, product())); },
                CenterError::Kind::install, "安装包中的版本信息无效。");
    EXPECT_EQ(inspectFolders(), before);
}

TEST_F(PackageValidation, LocalPackageMustBeAFileOnThisComputer) {
    expectError(
        [] { static_cast<void>(inspectLocalPackage("https://example.com/a.zip", product())); },
        CenterError::Kind::invalid, "安装包必须位于本机。");
}

} // namespace
