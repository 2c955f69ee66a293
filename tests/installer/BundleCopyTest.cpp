#include "installer/BundleCopy.h"

#include "tests/installer/InstallFixture.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using namespace CenterInstaller;

using BundleCopy = InstallFixture;

TEST_F(BundleCopy, CopiesEveryItemWithItsModeTimesAndAttributesIntoANewPlaceOnly) {
    installOldVersion();
    fs::path app = installedBundle;
    fs::create_symlink("data.bin", app / "Contents/Resources/alias");
    fs::create_symlink("/nowhere", app / "Contents/Resources/dangling");
    temp.write(app / "Contents/Resources/big.bin", std::string(3 << 20, 'b'));
    temp.write(app / "Contents/Resources/empty.bin", "");
    ASSERT_TRUE(setAttribute(app / "Contents/Info.plist", "other", "kept"));
    ASSERT_EQ(::mkfifo((app / "Contents/pipe").c_str(), 0640), 0);
    fs::create_directories(app / "Contents/Empty");
    fs::permissions(app / "Contents/Resources/data.bin", fs::perms::owner_read);
    const std::vector<std::string> timed = {"", "/Contents", "/Contents/Resources/data.bin",
                                            "/Contents/Resources/alias"};
    const timespec past[2] = {{1000000000, 5}, {1200000000, 7}};
    for (const std::string& item : timed) {
        ASSERT_EQ(::utimensat(AT_FDCWD, (app.string() + item).c_str(), past, AT_SYMLINK_NOFOLLOW),
                  0);
    }
    fs::permissions(app / "Contents/Empty", fs::perms::owner_read | fs::perms::owner_exec);

    fs::path copy = temp / "Copy.app";
    copyBundle(app, copy);
    // Before anything reads the copy and moves its access times.
    for (const std::string& item : timed) {
        struct stat copied {};
        ASSERT_EQ(::lstat((copy.string() + item).c_str(), &copied), 0);
        EXPECT_EQ(copied.st_mtim.tv_sec, 1200000000) << item;
        EXPECT_EQ(copied.st_mtim.tv_nsec, 7) << item;
        EXPECT_EQ(copied.st_atim.tv_sec, 1000000000) << item;
    }
    EXPECT_EQ(picture(copy), picture(app));
    char value[8] = {};
    EXPECT_EQ(attributes.readAttribute(copy / "Contents/Info.plist", "other", value).bytes, 4U);
    EXPECT_EQ(std::string(value), "kept");
    EXPECT_THROW(copyBundle(app, copy), fs::filesystem_error);
    fs::permissions(copy / "Contents/Empty", fs::perms::owner_all);
    fs::permissions(app / "Contents/Empty", fs::perms::owner_all);
}

} // namespace
