#include "installer/ResourceSeal.h"

#include "core/CenterError.h"
#include "tests/support/Bundle.h"
#include "tests/support/TemporaryDirectory.h"

#include <fstream>
#include <gtest/gtest.h>
#include <plist/plist.h>

namespace {

namespace fs = std::filesystem;
using CenterInstaller::ResourceSeal::check;

class ResourceSeal : public ::testing::Test {
  protected:
    TemporaryDirectory temp;
    fs::path app = writeBundle(temp.path(), "Sample.app");

    // Expects check() to fail with this reason after the bundle's path.
    void expectFailure(const std::string& reason) {
        try {
            check(app);
            FAIL() << "the seal was accepted";
        } catch (const CenterError& error) {
            EXPECT_EQ(error.kind(), CenterError::Kind::install);
            EXPECT_EQ(error.payload(), "验证或安装未完成：" + app.string() + ": " + reason);
        }
    }

    // Rewrites the seal with one more entry under files2.
    void addSealEntry(const std::string& key, plist_t entry) {
        std::ifstream in(CenterInstaller::ResourceSeal::sealPath(app), std::ios::binary);
        std::string xml{std::istreambuf_iterator<char>(in), {}};
        plist_t root = nullptr;
        plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
        plist_dict_set_item(plist_dict_get_item(root, "files2"), key.c_str(), entry);
        char* out = nullptr;
        std::uint32_t length = 0;
        plist_to_xml(root, &out, &length);
        temp.write(CenterInstaller::ResourceSeal::sealPath(app), std::string(out, length));
        plist_to_xml_free(out);
        plist_free(root);
    }
};

TEST_F(ResourceSeal, SealedBundleVerifies) {
    EXPECT_NO_THROW(check(app));
}

TEST_F(ResourceSeal, SealCoversInfoPlistAndTheExecutable) {
    temp.write(app / "Contents/MacOS/Sample", "#!/bin/sh\nexit 1\n");
    expectFailure("已签名的文件被修改：MacOS/Sample");
    temp.write(app / "Contents/Info.plist", "<plist/>");
    expectFailure("已签名的文件被修改：Info.plist");
}

TEST_F(ResourceSeal, MissingSealedFileFails) {
    fs::remove(app / "Contents/Resources/data.bin");
    expectFailure("已签名的文件缺失：Resources/data.bin");
}

TEST_F(ResourceSeal, AddedFileFails) {
    temp.write(app / "Contents/Resources/extra.txt", "x");
    expectFailure("包含未签名的文件：Resources/extra.txt");
}

TEST_F(ResourceSeal, UnsealedBundleFails) {
    fs::remove_all(app / "Contents/_CodeSignature");
    expectFailure("未签名（缺少 Contents/_CodeSignature/CodeResources）。");
}

TEST_F(ResourceSeal, EntryThatLeavesContentsIsInvalid) {
    plist_t entry = plist_new_dict();
    plist_dict_set_item(entry, "hash2", plist_new_data(std::string(32, 'x').data(), 32));
    addSealEntry("../Outside", entry);
    expectFailure("签名文件无效。");
}

TEST_F(ResourceSeal, LinksAreSealedByTargetAndMayNotLeaveTheBundle) {
    fs::create_symlink("data.bin", app / "Contents/Resources/alias");
    CenterInstaller::ResourceSeal::write(app);
    EXPECT_NO_THROW(check(app));
    fs::remove(app / "Contents/Resources/alias");
    fs::create_symlink("../MacOS/Sample", app / "Contents/Resources/alias");
    expectFailure("已签名的文件被修改：Resources/alias");

    fs::create_symlink("/etc/passwd", app / "Contents/Resources/escape");
    CenterInstaller::ResourceSeal::write(app);
    expectFailure("链接指向应用之外：Resources/escape");
}

TEST_F(ResourceSeal, OptionalEntryMayBeAbsentButMustMatchWhenPresent) {
    plist_t entry = plist_new_dict();
    plist_dict_set_item(entry, "hash2", plist_new_data(std::string(32, 'x').data(), 32));
    plist_dict_set_item(entry, "optional", plist_new_bool(1));
    addSealEntry("Resources/optional.bin", entry);
    EXPECT_NO_THROW(check(app));

    temp.write(app / "Contents/Resources/optional.bin", "other");
    expectFailure("已签名的文件被修改：Resources/optional.bin");
}

TEST_F(ResourceSeal, NestedCodeSealedByHashCannotBeCheckedHere) {
    plist_t entry = plist_new_dict();
    plist_dict_set_item(entry, "cdhash", plist_new_data(std::string(20, 'x').data(), 20));
    addSealEntry("Frameworks/Helper.framework", entry);
    expectFailure("包含无法在本机验证的嵌套代码：Frameworks/Helper.framework");
}

} // namespace
