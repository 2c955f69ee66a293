#include "installer/BundleCopy.h"

#include "installer/ExtendedAttributes.h"
#include "installer/LegacyIcon.h"
#include "tests/support/Bundle.h"
#include "tests/support/TemporaryDirectory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using namespace CenterInstaller;

class BundleCopy : public ::testing::Test {
  protected:
    TemporaryDirectory temp;
    fs::path app = writeBundle(temp.path(), "Sample.app");
    LinuxExtendedAttributes attributes;

    struct stat statusOf(const fs::path& item) {
        struct stat status {};
        EXPECT_EQ(::lstat(item.c_str(), &status), 0) << item;
        return status;
    }
};

TEST_F(BundleCopy, CopiesEveryFileLinkAndFolderWithModes) {
    fs::create_symlink("data.bin", app / "Contents/Resources/alias");
    fs::create_symlink("/nowhere", app / "Contents/Resources/dangling");
    fs::create_directories(app / "Contents/Empty");
    temp.write(app / "Contents/Resources/big.bin", std::string(3 << 20, 'b'));
    temp.write(app / "Contents/Resources/empty.bin", "");
    fs::permissions(app / "Contents/Resources/data.bin", fs::perms::owner_read);
    fs::permissions(app / "Contents/Empty", fs::perms::owner_read | fs::perms::owner_exec);
    ASSERT_EQ(::mkfifo((app / "Contents/pipe").c_str(), 0640), 0);

    copyBundle(app, temp / "Copy.app");
    EXPECT_EQ(treeSnapshot(temp / "Copy.app"), treeSnapshot(app));
    fs::permissions(temp / "Copy.app/Contents/Empty", fs::perms::owner_all);
    fs::permissions(app / "Contents/Empty", fs::perms::owner_all);
}

TEST_F(BundleCopy, KeepsModificationTimesOfFilesFoldersAndLinks) {
    fs::create_symlink("data.bin", app / "Contents/Resources/alias");
    const timespec past[2] = {{1000000000, 5}, {1200000000, 7}};
    for (const char* item :
         {"", "/Contents", "/Contents/Resources/data.bin", "/Contents/Resources/alias"}) {
        ASSERT_EQ(::utimensat(AT_FDCWD, (app.string() + item).c_str(), past, AT_SYMLINK_NOFOLLOW),
                  0);
    }
    copyBundle(app, temp / "Copy.app");
    for (const char* item :
         {"", "/Contents", "/Contents/Resources/data.bin", "/Contents/Resources/alias"}) {
        struct stat copied = statusOf(temp.path().string() + "/Copy.app" + item);
        EXPECT_EQ(copied.st_mtim.tv_sec, 1200000000) << item;
        EXPECT_EQ(copied.st_mtim.tv_nsec, 7) << item;
        EXPECT_EQ(copied.st_atim.tv_sec, 1000000000) << item;
    }
}

TEST_F(BundleCopy, CarriesExtendedAttributesAndTheLegacyIcon) {
    if (attributes.writeAttribute(app, "com.apple.FinderInfo", std::string(32, 'f')).status !=
        AttributeResult::Status::done) {
        GTEST_SKIP() << "this file system refuses user extended attributes";
    }
    fs::path icon = temp.write(app / legacyIconFileName, "icon");
    ASSERT_EQ(
        attributes.writeAttribute(icon, "com.apple.ResourceFork", std::string(3000, 'r')).status,
        AttributeResult::Status::done);
    ASSERT_EQ(
        attributes.writeAttribute(app / "Contents/Info.plist", "other", std::string("kept")).status,
        AttributeResult::Status::done);

    copyBundle(app, temp / "Copy.app");
    EXPECT_EQ(legacyIconState(temp / "Copy.app", attributes), legacyIconState(app, attributes));
    char value[8] = {};
    EXPECT_EQ(attributes.readAttribute(temp / "Copy.app/Contents/Info.plist", "other", value).bytes,
              4U);
    EXPECT_EQ(std::string(value), "kept");
}

TEST_F(BundleCopy, RefusesAnExistingDestination) {
    fs::create_directory(temp / "Copy.app");
    EXPECT_THROW(copyBundle(app, temp / "Copy.app"), fs::filesystem_error);
}

} // namespace
