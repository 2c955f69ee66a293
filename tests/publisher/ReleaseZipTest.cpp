#include "publisher/ReleaseZip.h"

#include "core/CenterError.h"
#include "installer/Unpack.h"
#include "tests/support/TemporaryDirectory.h"

#include <archive.h>
#include <archive_entry.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Packs a small but complete bundle: nested folders, an empty folder, an executable,
// compressible and incompressible data.
class ReleaseZipTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory.write("Sample.app/Contents/Info.plist", "<plist/>");
        directory.write("Sample.app/Contents/Resources/text", std::string(200000, 't'));
        std::independent_bits_engine<std::mt19937, 8, unsigned> bytes(12345);
        std::generate(random.begin(), random.end(), [&] { return static_cast<char>(bytes()); });
        directory.write("Sample.app/Contents/Resources/random", random);
        fs::create_directories(directory / "Sample.app/Contents/Resources/Empty");
        fs::permissions(directory.write("Sample.app/Contents/MacOS/Sample", "#!/bin/sh\n"),
                        fs::perms(0755));
    }

    // Expects packing refused with the sentence, and no package left behind.
    void expectRefused(const fs::path& app, const std::string& sentence) const {
        try {
            (void)CenterPublisher::packRelease(app, package);
            ADD_FAILURE() << "packed; expected " << sentence;
        } catch (const CenterError& error) {
            EXPECT_EQ(error.kind(), CenterError::Kind::invalid);
            EXPECT_EQ(error.what(), sentence);
        }
        EXPECT_FALSE(fs::exists(package));
    }

    TemporaryDirectory directory;
    std::string random = std::string(100000, '\0');
    fs::path package = directory / "Sample.zip";
};

TEST_F(ReleaseZipTest, WritesTheBundleUnderItsOwnNameInSortedOrderWithModes) {
    EXPECT_EQ(CenterPublisher::packRelease(directory / "Sample.app/", package), "Sample.app");
    std::vector<std::pair<std::string, unsigned>> listed;
    archive* reader = archive_read_new();
    archive_read_support_format_zip_seekable(reader);
    ASSERT_EQ(archive_read_open_filename(reader, package.c_str(), 1 << 16), ARCHIVE_OK);
    for (archive_entry* entry = nullptr; archive_read_next_header(reader, &entry) == ARCHIVE_OK;) {
        listed.emplace_back(archive_entry_pathname(entry), archive_entry_mode(entry));
    }
    archive_read_free(reader);
    const std::vector<std::pair<std::string, unsigned>> expected = {
        {"Sample.app/", S_IFDIR | 0755},
        {"Sample.app/Contents/", S_IFDIR | 0755},
        {"Sample.app/Contents/Info.plist", S_IFREG | 0644},
        {"Sample.app/Contents/MacOS/", S_IFDIR | 0755},
        {"Sample.app/Contents/MacOS/Sample", S_IFREG | 0755},
        {"Sample.app/Contents/Resources/", S_IFDIR | 0755},
        {"Sample.app/Contents/Resources/Empty/", S_IFDIR | 0755},
        {"Sample.app/Contents/Resources/random", S_IFREG | 0644},
        {"Sample.app/Contents/Resources/text", S_IFREG | 0644},
    };
    EXPECT_EQ(listed, expected);
}

TEST_F(ReleaseZipTest, UnpacksToTheSameFilesFromTheSameBytesEveryTime) {
    (void)CenterPublisher::packRelease(directory / "Sample.app", package);
    (void)CenterPublisher::packRelease(directory / "Sample.app", directory / "Again.zip");
    EXPECT_EQ(contents(package), contents(directory / "Again.zip"));
    // Compressible text shrinks; random bytes are stored rather than grown.
    EXPECT_LT(fs::file_size(package), random.size() + 20000);

    fs::create_directory(directory / "staging");
    CenterInstaller::unpackZIP(package, directory / "staging");
    const fs::path unpacked = directory / "staging/Sample.app/Contents";
    EXPECT_EQ(contents(unpacked / "Resources/text"), std::string(200000, 't'));
    EXPECT_EQ(contents(unpacked / "Resources/random"), random);
    EXPECT_EQ(contents(unpacked / "MacOS/Sample"), "#!/bin/sh\n");
    EXPECT_EQ(fs::status(unpacked / "MacOS/Sample").permissions(), fs::perms(0755));
    EXPECT_TRUE(fs::is_directory(unpacked / "Resources/Empty"));
}

TEST_F(ReleaseZipTest, RefusesWhatTheInstallerWouldRefuseAndLeavesNoPackage) {
    fs::create_directory_symlink(directory / "Sample.app", directory / "Linked.app");
    expectRefused(directory / "Linked.app", "应用程序包含符号链接或特殊文件，无法打包：Linked.app");
    const fs::path plist = directory / "Sample.app/Contents/Info.plist";
    expectRefused(plist, "只能打包应用程序文件夹：" + plist.string());
    expectRefused(directory / "Sample.app/Contents", "安装包必须只包含一个独立的 .app 软件。");
    package = directory / "Sample.app/Contents/Sample.zip";
    expectRefused(directory / "Sample.app", "安装包不能写在应用程序文件夹之内。");
    // What collecting the bundle finds is refused before the output's place is judged.
    fs::create_symlink("MacOS/Sample", directory / "Sample.app/Contents/link");
    expectRefused(directory / "Sample.app",
                  "应用程序包含符号链接或特殊文件，无法打包：Sample.app/Contents/link");
    fs::remove(directory / "Sample.app/Contents/link");
    fs::resize_file(directory.write("Sample.app/Contents/Resources/huge", ""), 0xFFFFFFFF);
    expectRefused(directory / "Sample.app",
                  "应用程序超出不含 ZIP64 的安装包所能容纳的大小，无法打包。");
}

} // namespace
