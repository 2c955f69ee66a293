#include "installer/Unpack.h"

#include "core/CenterError.h"
#include "tests/support/CenterErrorMatcher.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/ZipWriter.h"

#include <clocale>
#include <gtest/gtest.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

unsigned mode(const fs::path& item) {
    return static_cast<unsigned>(fs::symlink_status(item).permissions());
}

ZipWriter samplePackage() {
    ZipWriter zip;
    zip.folder("Sample.app/");
    zip.folder("Sample.app/Contents/");
    zip.file("Sample.app/Contents/Info.plist", "<plist/>");
    return zip;
}

// Unpacks real packages into a staging folder that sits inside a larger folder, so that
// anything escaping the staging folder would be seen beside it.
class UnpackTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directory(staging); }

    fs::path package(const ZipWriter& zip) const {
        return outside.write("package.zip", zip.bytes());
    }

    // Unpacking the package, as a callable.
    auto unpacking(const fs::path& zip) const {
        return [this, zip] { CenterInstaller::unpackZIP(zip, staging); };
    }

    // Nothing may have been written beside the staging folder.
    void expectNothingBeside() const {
        for (const fs::directory_entry& item : fs::directory_iterator(outside.path())) {
            EXPECT_TRUE(item.path() == staging || item.path() == outside / "package.zip") << item;
        }
    }

    TemporaryDirectory outside;
    fs::path staging = outside / "staging";
};

TEST_F(UnpackTest, WritesEveryEntryWithItsContentAndAMaskedMode) {
    ZipWriter zip = samplePackage();
    // A file ahead of its folder's entry, which makes the folder read-only.
    zip.file("Sample.app/Contents/Locked/file", "inside");
    zip.folder("Sample.app/Contents/Locked/", 0555);
    zip.file("Sample.app/Contents/MacOS/Sample", "#!/bin/sh\n", 0755);
    zip.file("Sample.app/Contents/MacOS/helper", "#!/bin/sh\n", 06755);
    zip.folder("Sample.app/Contents/Cache/", 01777);
    zip.file("Sample.app/Contents/Resources/large.bin", std::string(3 << 20, 'z')).method = 8;
    zip.file("Sample.app/Contents/Resources/empty-deflated", "").method = 8;
    for (int i = 0; i < 300; ++i) {
        zip.file("Sample.app/Contents/Resources/file-" + std::to_string(i),
                 std::string(1000 + i, static_cast<char>('a' + i % 26)))
            .method = 8;
    }
    CenterInstaller::unpackZIP(package(zip), staging);

    const fs::path app = staging / "Sample.app/Contents";
    EXPECT_EQ(fileContents(app / "Info.plist"), "<plist/>");
    EXPECT_EQ(fileContents(app / "Locked/file"), "inside");
    EXPECT_EQ(fileContents(app / "Resources/large.bin"), std::string(3 << 20, 'z'));
    EXPECT_EQ(fs::file_size(app / "Resources/empty-deflated"), 0u);
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(fileContents(app / ("Resources/file-" + std::to_string(i))),
                  std::string(1000 + i, static_cast<char>('a' + i % 26)));
    }
    EXPECT_EQ(mode(app / "Info.plist"), 0644u);
    EXPECT_EQ(mode(app / "Locked"), 0555u);
    EXPECT_EQ(mode(app / "MacOS/Sample"), 0755u);
    // Set-id and sticky bits never survive.
    EXPECT_EQ(mode(app / "MacOS/helper"), 0755u);
    EXPECT_EQ(mode(app / "Cache"), 0777u);
    fs::permissions(app / "Locked", fs::perms(0755));
}

// Services run under the plain C locale; product folders are Chinese and resources may carry
// accents (composed or not) and emoji. Every name lands as the same UTF-8 bytes.
TEST_F(UnpackTest, WritesUtf8NamesAsTheyAreUnderAnyLocale) {
    const std::string app = "KESTRYN 回响工坊.app";
    const std::vector<std::string> names = {
        "Contents/Resources/说明 文档.txt", "Contents/Resources/Caf\u00e9.txt",
        "Contents/Resources/Re\u0301sume\u0301.txt", "Contents/Resources/🎨 调色板/色彩.json"};
    for (const char* locale : {"C", "C.UTF-8"}) {
        SCOPED_TRACE(locale);
        const std::string previous = std::setlocale(LC_ALL, nullptr);
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr);
        fs::remove_all(staging);
        fs::create_directory(staging);
        ZipWriter zip;
        zip.folder(app + "/");
        for (const std::string& name : names) {
            zip.file(app + "/" + name, name).method = 8;
        }
        CenterInstaller::unpackZIP(package(zip), staging);
        std::setlocale(LC_ALL, previous.c_str());
        for (const std::string& name : names) {
            EXPECT_EQ(fileContents(staging / app / name), name);
        }
    }
}

TEST_F(UnpackTest, ResolvesTheDestinationPathAndRequiresItToExist) {
    fs::create_directory_symlink(staging, outside / "link-to-staging");
    CenterInstaller::unpackZIP(package(samplePackage()), outside / "link-to-staging");
    EXPECT_TRUE(fs::is_regular_file(staging / "Sample.app/Contents/Info.plist"));
    EXPECT_THROW(CenterInstaller::unpackZIP(outside / "package.zip", outside / "missing"),
                 fs::filesystem_error);
}

// An Info-ZIP Unicode Path field replaces the stored name for readers that honour it, so only
// the unpacker sees this name.
TEST_F(UnpackTest, RefusesANameOnlyTheUnpackerSeesBeforeWritingAnything) {
    const std::string stored = "Sample.app/Contents/Resources/x";
    // Tag 0x7075, 15 bytes of data, version 1, the stored name's CRC, then the new name.
    std::string field{'\x75', '\x70', '\x0F', '\0', '\1'};
    for (const std::uint32_t crc = zipCRC32(stored); const int shift : {0, 8, 16, 24}) {
        field += static_cast<char>(crc >> shift & 0xFF);
    }
    field += "../escaped";
    ZipWriter zip = samplePackage();
    ZipEntry& entry = zip.file(stored, "payload");
    entry.extra = entry.localExtra = field;
    EXPECT_THAT(unpacking(package(zip)),
                ThrowsCenterError(CenterError::Kind::invalid, "ZIP 包含不安全路径。"));
    expectNothingBeside();
    EXPECT_TRUE(fs::is_empty(staging));
}

TEST_F(UnpackTest, StopsWhenMoreBytesComeOutThanDeclared) {
    for (const std::uint16_t method : {0, 8}) {
        fs::remove_all(staging);
        fs::create_directory(staging);
        ZipWriter zip = samplePackage();
        ZipEntry& bomb = zip.file("Sample.app/Contents/Resources/bomb", std::string(8 << 20, 0));
        bomb.method = method;
        bomb.uncompressedSize = 1000;
        EXPECT_THAT(unpacking(package(zip)),
                    ThrowsCenterError(CenterError::Kind::invalid, "安装包解压后体积过大。"))
            << "method " << method;
        expectNothingBeside();
    }
}

TEST_F(UnpackTest, ReportsCorruptDataAsAnIncompleteInstallation) {
    ZipWriter zip = samplePackage();
    zip.file("Sample.app/Contents/Resources/data", "payload");
    std::string bytes = zip.bytes();
    bytes[bytes.find("payload")] = 'P';
    EXPECT_THAT(
        unpacking(outside.write("package.zip", bytes)),
        ::testing::Throws<CenterError>(::testing::AllOf(
            ::testing::Property(&CenterError::kind, CenterError::Kind::install),
            ::testing::Property(&CenterError::what, ::testing::StartsWith("验证或安装未完成：")))));
    expectNothingBeside();
}

} // namespace
