#include "installer/Unpack.h"

#include "core/CenterError.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/ZipWriter.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// Unpacks real packages into a staging folder that sits inside a larger folder, so that
// anything escaping the staging folder would be seen beside it.
class UnpackTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directory(staging); }

    static ZipWriter samplePackage() {
        ZipWriter zip;
        zip.folder("Sample.app/");
        zip.folder("Sample.app/Contents/");
        zip.folder("Sample.app/Contents/MacOS/");
        zip.file("Sample.app/Contents/Info.plist", "<plist/>");
        zip.file("Sample.app/Contents/MacOS/Sample", "#!/bin/sh\necho sample\n", 0755);
        return zip;
    }

    void unpack(const ZipWriter& zip) const {
        CenterInstaller::unpackZIP(zip.write(outside / "package.zip"), staging);
    }

    void expectRefused(const ZipWriter& zip, CenterError::Kind kind, const char* sentence) const {
        try {
            unpack(zip);
            ADD_FAILURE() << "unpacked; expected " << sentence;
        } catch (const CenterError& error) {
            EXPECT_EQ(error.kind(), kind);
            EXPECT_STREQ(error.what(), sentence);
        }
    }

    // Everything in the outer folder apart from the package and the staging folder's content.
    std::vector<std::string> strayItems() const {
        std::vector<std::string> items;
        for (const auto& item : fs::directory_iterator(outside.path())) {
            const std::string name = item.path().filename().string();
            if (name != "package.zip" && name != "staging") {
                items.push_back(name);
            }
        }
        return items;
    }

    static std::string contents(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static unsigned mode(const fs::path& item) {
        struct stat status {};
        EXPECT_EQ(::lstat(item.c_str(), &status), 0) << item;
        return status.st_mode & 07777;
    }

    TemporaryDirectory outside;
    fs::path staging = outside / "staging";
};

TEST_F(UnpackTest, WritesEveryEntryWithItsContentAndPermissions) {
    ZipWriter zip = samplePackage();
    zip.file("Sample.app/Contents/Resources/large.bin", std::string(3 << 20, 'z')).method = 8;
    zip.file("Sample.app/Contents/Resources/private", "secret", 0600);
    zip.folder("Sample.app/Contents/Shared/", 0775);
    zip.file("Sample.app/Contents/Resources/empty", "");
    zip.file("Sample.app/Contents/Resources/empty-deflated", "").method = 8;
    unpack(zip);

    const fs::path app = staging / "Sample.app";
    EXPECT_EQ(contents(app / "Contents/Info.plist"), "<plist/>");
    EXPECT_EQ(contents(app / "Contents/MacOS/Sample"), "#!/bin/sh\necho sample\n");
    EXPECT_EQ(contents(app / "Contents/Resources/large.bin"), std::string(3 << 20, 'z'));
    EXPECT_EQ(mode(app / "Contents/MacOS/Sample"), 0755u);
    EXPECT_EQ(mode(app / "Contents/Info.plist"), 0644u);
    EXPECT_EQ(mode(app / "Contents/Resources/private"), 0600u);
    EXPECT_EQ(mode(app / "Contents/Shared"), 0775u);
    EXPECT_TRUE(fs::is_directory(app / "Contents/Resources"));
    EXPECT_EQ(fs::file_size(app / "Contents/Resources/empty"), 0u);
    EXPECT_EQ(fs::file_size(app / "Contents/Resources/empty-deflated"), 0u);
}

TEST_F(UnpackTest, DropsSetIdAndStickyBits) {
    ZipWriter zip = samplePackage();
    zip.file("Sample.app/Contents/MacOS/helper", "#!/bin/sh\n", 06755);
    zip.folder("Sample.app/Contents/Cache/", 01777);
    unpack(zip);
    EXPECT_EQ(mode(staging / "Sample.app/Contents/MacOS/helper"), 0755u);
    EXPECT_EQ(mode(staging / "Sample.app/Contents/Cache"), 0777u);
}

TEST_F(UnpackTest, AppliesFolderModesWhereverTheFolderEntryComes) {
    ZipWriter zip;
    zip.file("Sample.app/Contents/Locked/file", "inside", 0644);
    zip.file("Sample.app/Contents/Private/file", "inside", 0600);
    zip.folder("Sample.app/Contents/Private/", 0700);
    zip.folder("Sample.app/Contents/Locked/", 0555);
    unpack(zip);
    const fs::path contentsFolder = staging / "Sample.app/Contents";
    EXPECT_EQ(mode(contentsFolder / "Locked"), 0555u);
    EXPECT_EQ(mode(contentsFolder / "Private"), 0700u);
    EXPECT_EQ(contents(contentsFolder / "Locked/file"), "inside");
    fs::permissions(contentsFolder / "Locked", fs::perms(0755));
}

TEST_F(UnpackTest, UnpacksEveryFileOfALargePackage) {
    ZipWriter zip = samplePackage();
    for (int i = 0; i < 300; ++i) {
        zip.file("Sample.app/Contents/Resources/file-" + std::to_string(i),
                 std::string(1000 + i, static_cast<char>('a' + i % 26)))
            .method = 8;
    }
    unpack(zip);
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(contents(staging / ("Sample.app/Contents/Resources/file-" + std::to_string(i))),
                  std::string(1000 + i, static_cast<char>('a' + i % 26)));
    }
}

TEST_F(UnpackTest, UnpacksWhatTheZipToolWrites) {
    outside.write("tree/Sample.app/Contents/Info.plist", "<plist/>");
    outside.write("tree/Sample.app/Contents/Resources/\xe4\xb8\x96\xe7\x95\x8c.txt", "world");
    const fs::path executable =
        outside.write("tree/Sample.app/Contents/MacOS/Sample", std::string(200000, 's'));
    fs::permissions(executable, fs::perms(0755));
    const std::string command = "cd '" + (outside / "tree").string() +
                                "' && zip -qrX ../package.zip Sample.app && rm -r ../tree";
    ASSERT_EQ(std::system(command.c_str()), 0);

    CenterInstaller::unpackZIP(outside / "package.zip", staging);
    const fs::path app = staging / "Sample.app/Contents";
    EXPECT_EQ(contents(app / "MacOS/Sample"), std::string(200000, 's'));
    EXPECT_EQ(mode(app / "MacOS/Sample"), 0755u);
    EXPECT_EQ(contents(app / "Resources/\xe4\xb8\x96\xe7\x95\x8c.txt"), "world");
}

TEST_F(UnpackTest, RecreatesATreeWithItsModes) {
    outside.write("tree/Sample.app/Contents/Resources/nested/deep/data", std::string(5000, 'd'));
    const fs::path tool = outside.write("tree/Sample.app/Contents/MacOS/tool", "#!/bin/sh\n");
    fs::permissions(tool, fs::perms(0750));
    unpack(ZipWriter::ofTree(outside / "tree/Sample.app"));
    const fs::path app = staging / "Sample.app/Contents";
    EXPECT_EQ(contents(app / "Resources/nested/deep/data"), std::string(5000, 'd'));
    EXPECT_EQ(mode(app / "MacOS/tool"), 0750u);
}

TEST_F(UnpackTest, ResolvesLinksInTheDestinationPathItself) {
    fs::create_directory_symlink(staging, outside / "link-to-staging");
    CenterInstaller::unpackZIP(samplePackage().write(outside / "package.zip"),
                               outside / "link-to-staging");
    EXPECT_TRUE(fs::is_regular_file(staging / "Sample.app/Contents/Info.plist"));
}

TEST_F(UnpackTest, RefusesWhatTheInspectionRefusesBeforeWritingAnything) {
    ZipWriter linked = samplePackage();
    linked.file("Sample.app/Contents/link", "../../../../etc/passwd").unixMode(0120777);
    expectRefused(linked, CenterError::Kind::invalid,
                  "此安装方式不支持符号链接或特殊文件，请使用专用安装包。");

    ZipWriter escaping = samplePackage();
    escaping.file("Sample.app/../escaped", "x");
    expectRefused(escaping, CenterError::Kind::invalid, "ZIP 包含不安全路径。");
    EXPECT_TRUE(fs::is_empty(staging));
    EXPECT_TRUE(strayItems().empty());
}

TEST_F(UnpackTest, RefusesANameThatOnlyTheUnpackerWouldSee) {
    // An Info-ZIP Unicode Path field replaces the stored name for readers that honour it.
    const std::string stored = "Sample.app/Contents/Resources/x";
    const std::string replacement = "../escaped";
    std::string field = "\x75\x70";
    field += static_cast<char>(5 + replacement.size());
    field += '\0';
    field += '\1';
    const std::uint32_t crc = zipCRC32(stored);
    for (int shift = 0; shift < 32; shift += 8) {
        field += static_cast<char>(crc >> shift & 0xFF);
    }
    field += replacement;

    ZipWriter zip = samplePackage();
    ZipEntry& entry = zip.file(stored, "payload");
    entry.extra = field;
    entry.localExtra = field;
    expectRefused(zip, CenterError::Kind::invalid, "ZIP 包含不安全路径。");
    EXPECT_TRUE(strayItems().empty());
    EXPECT_FALSE(fs::exists(staging / "escaped"));
}

TEST_F(UnpackTest, StopsWhenMoreBytesComeOutThanDeclared) {
    ZipWriter stored = samplePackage();
    stored.file("Sample.app/Contents/Resources/big", std::string(100000, 'b')).uncompressedSize =
        10;
    expectRefused(stored, CenterError::Kind::invalid, "安装包解压后体积过大。");

    fs::remove_all(staging);
    fs::create_directory(staging);
    ZipWriter deflated = samplePackage();
    ZipEntry& bomb = deflated.file("Sample.app/Contents/Resources/bomb", std::string(8 << 20, 0));
    bomb.method = 8;
    bomb.uncompressedSize = 1000;
    expectRefused(deflated, CenterError::Kind::invalid, "安装包解压后体积过大。");
    EXPECT_TRUE(strayItems().empty());
}

TEST_F(UnpackTest, ReportsCorruptDataAsAnIncompleteInstallation) {
    ZipWriter zip = samplePackage();
    zip.file("Sample.app/Contents/Resources/data", "payload").crc32 = 0x12345678;
    try {
        unpack(zip);
        ADD_FAILURE() << "a corrupt entry was unpacked";
    } catch (const CenterError& error) {
        EXPECT_EQ(error.kind(), CenterError::Kind::install);
        EXPECT_TRUE(std::string(error.what()).starts_with("验证或安装未完成：")) << error.what();
    }
}

TEST_F(UnpackTest, PassesFileErrorsThrough) {
    EXPECT_THROW(CenterInstaller::unpackZIP(outside / "missing.zip", staging),
                 fs::filesystem_error);
    EXPECT_THROW(CenterInstaller::unpackZIP(samplePackage().write(outside / "package.zip"),
                                            outside / "missing-folder"),
                 fs::filesystem_error);
}

} // namespace
