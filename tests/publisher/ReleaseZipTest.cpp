#include "publisher/ReleaseZip.h"

#include "core/CenterError.h"
#include "installer/Unpack.h"
#include "installer/ZipCentralDirectory.h"
#include "tests/support/TemporaryDirectory.h"

#include <archive.h>
#include <archive_entry.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// One entry as an independent reader sees it.
struct Listed {
    std::string name;
    unsigned mode;
    bool operator==(const Listed&) const = default;
};

// Packs a small but complete bundle: nested folders, an empty folder, an executable,
// compressible and incompressible data.
class ReleaseZipTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory.write("Sample.app/Contents/Info.plist", "<plist/>");
        directory.write("Sample.app/Contents/Resources/text", std::string(200000, 't'));
        fs::create_directories(directory / "Sample.app/Contents/Resources/Empty");
        const fs::path executable =
            directory.write("Sample.app/Contents/MacOS/Sample", "#!/bin/sh\necho sample\n");
        fs::permissions(executable, fs::perms(0755));
    }

    static std::string contents(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // The entries in the order they were written, read with libarchive.
    static std::vector<Listed> listing(const fs::path& package) {
        std::vector<Listed> entries;
        archive* reader = archive_read_new();
        archive_read_support_format_zip_seekable(reader);
        EXPECT_EQ(archive_read_open_filename(reader, package.c_str(), 1 << 16), ARCHIVE_OK);
        archive_entry* entry = nullptr;
        while (archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
            entries.push_back({archive_entry_pathname(entry), archive_entry_mode(entry)});
        }
        archive_read_free(reader);
        return entries;
    }

    void expectRefused(const fs::path& app, const char* sentence) const {
        try {
            (void)CenterPublisher::packRelease(app, package);
            ADD_FAILURE() << "packed; expected " << sentence;
        } catch (const CenterError& error) {
            EXPECT_EQ(error.kind(), CenterError::Kind::invalid);
            EXPECT_STREQ(error.what(), sentence);
        }
        EXPECT_FALSE(fs::exists(package));
    }

    TemporaryDirectory directory;
    fs::path package = directory / "Sample.zip";
};

TEST_F(ReleaseZipTest, WritesTheBundleUnderItsOwnNameInSortedOrderWithModes) {
    EXPECT_EQ(CenterPublisher::packRelease(directory / "Sample.app", package), "Sample.app");
    const std::vector<Listed> expected = {
        {"Sample.app/", S_IFDIR | 0755},
        {"Sample.app/Contents/", S_IFDIR | 0755},
        {"Sample.app/Contents/Info.plist", S_IFREG | 0644},
        {"Sample.app/Contents/MacOS/", S_IFDIR | 0755},
        {"Sample.app/Contents/MacOS/Sample", S_IFREG | 0755},
        {"Sample.app/Contents/Resources/", S_IFDIR | 0755},
        {"Sample.app/Contents/Resources/Empty/", S_IFDIR | 0755},
        {"Sample.app/Contents/Resources/text", S_IFREG | 0644},
    };
    EXPECT_EQ(listing(package), expected);
    EXPECT_EQ(CenterInstaller::inspectZIP(package), "Sample.app");
}

TEST_F(ReleaseZipTest, UnpacksToTheSameFilesAndModes) {
    std::string random(100000, '\0');
    std::uint32_t state = 12345;
    for (char& c : random) {
        state = state * 1664525 + 1013904223;
        c = static_cast<char>(state >> 24);
    }
    directory.write("Sample.app/Contents/Resources/random", random);
    (void)CenterPublisher::packRelease(directory / "Sample.app/", package);

    const fs::path staging = directory / "staging";
    fs::create_directory(staging);
    CenterInstaller::unpackZIP(package, staging);
    const fs::path unpacked = staging / "Sample.app/Contents";
    EXPECT_EQ(contents(unpacked / "Resources/text"), std::string(200000, 't'));
    EXPECT_EQ(contents(unpacked / "Resources/random"), random);
    EXPECT_EQ(contents(unpacked / "MacOS/Sample"), "#!/bin/sh\necho sample\n");
    EXPECT_EQ(fs::status(unpacked / "MacOS/Sample").permissions(), fs::perms(0755));
    EXPECT_TRUE(fs::is_directory(unpacked / "Resources/Empty"));

    // Compressible text shrinks; random bytes are stored rather than grown.
    EXPECT_LT(fs::file_size(package), random.size() + 20000);
}

TEST_F(ReleaseZipTest, PacksTheSameBundleToTheSameBytes) {
    (void)CenterPublisher::packRelease(directory / "Sample.app", package);
    const fs::path again = directory / "Again.zip";
    (void)CenterPublisher::packRelease(directory / "Sample.app", again);
    EXPECT_EQ(contents(package), contents(again));
}

TEST_F(ReleaseZipTest, RefusesLinksAndLeavesNoPackage) {
    fs::create_symlink("MacOS/Sample", directory / "Sample.app/Contents/link");
    expectRefused(directory / "Sample.app",
                  "应用程序包含符号链接或特殊文件，无法打包：Sample.app/Contents/link");

    fs::remove(directory / "Sample.app/Contents/link");
    fs::create_directory_symlink(directory / "Sample.app", directory / "Linked.app");
    expectRefused(directory / "Linked.app", "应用程序包含符号链接或特殊文件，无法打包：Linked.app");
}

TEST_F(ReleaseZipTest, RefusesWhatTheInstallerWouldRefuse) {
    fs::rename(directory / "Sample.app", directory / "Sample");
    expectRefused(directory / "Sample", "安装包必须只包含一个独立的 .app 软件。");

    fs::rename(directory / "Sample", directory / "Sample.app");
    fs::resize_file(directory.write("Sample.app/Contents/Resources/huge", ""), 0xFFFFFFFF);
    expectRefused(directory / "Sample.app",
                  "应用程序超出不含 ZIP64 的安装包所能容纳的大小，无法打包。");
}

TEST_F(ReleaseZipTest, RefusesToWriteThePackageInsideTheBundle) {
    package = directory / "Sample.app/Contents/Sample.zip";
    expectRefused(directory / "Sample.app", "安装包不能写在应用程序文件夹之内。");
}

} // namespace
