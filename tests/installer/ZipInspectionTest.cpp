#include "installer/ZipInspection.h"

#include "core/CenterError.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/ZipWriter.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const std::filesystem::path testData = KESTRYN_TEST_DATA;

const char* const incomplete = "ZIP 安装包不完整。";
const char* const notSupported = "不支持分卷、空包或 ZIP64 安装包。";
const char* const directoryIncomplete = "ZIP 目录不完整。";
const char* const directoryInvalid = "ZIP 目录无效。";
const char* const invalidPath = "ZIP 包含无效路径或加密内容。";
const char* const unsafePath = "ZIP 包含不安全路径。";
const char* const duplicatePath = "ZIP 包含重复或冲突路径。";
const char* const specialFile = "此安装方式不支持符号链接或特殊文件，请使用专用安装包。";
const char* const zip64 = "不支持 ZIP64 或分卷安装包。";
const char* const tooLarge = "安装包解压后体积过大。";
const char* const recordsConflict = "ZIP 的文件记录存在冲突。";
const char* const notOneApp = "安装包必须只包含一个独立的 .app 软件。";
const char* const fileFolderConflict = "ZIP 文件与文件夹路径冲突。";

void expectRejected(const std::filesystem::path& package, const char* sentence) {
    try {
        (void)CenterInstaller::inspectZIP(package);
        ADD_FAILURE() << package << " was accepted; expected " << sentence;
    } catch (const CenterError& error) {
        EXPECT_EQ(error.kind(), CenterError::Kind::invalid) << package;
        EXPECT_STREQ(error.what(), sentence) << package;
    }
}

// Builds packages on disk, starting from a small well-formed application package.
class ZipInspectionTest : public ::testing::Test {
  protected:
    static ZipWriter samplePackage() {
        ZipWriter zip;
        zip.folder("Sample.app/");
        zip.folder("Sample.app/Contents/");
        zip.file("Sample.app/Contents/Info.plist", "<plist/>");
        zip.file("Sample.app/Contents/MacOS/Sample", "#!/bin/sh\n", 0755);
        return zip;
    }

    std::filesystem::path save(const std::string& bytes) const {
        return directory.write("package.zip", bytes);
    }

    std::string inspect(const ZipWriter& zip) const {
        return CenterInstaller::inspectZIP(zip.write(directory / "package.zip"));
    }

    void expectRejected(const ZipWriter& zip, const char* sentence) const {
        ::expectRejected(zip.write(directory / "package.zip"), sentence);
    }

    static void expectRejected(const std::filesystem::path& package, const char* sentence) {
        ::expectRejected(package, sentence);
    }

    // The archive's bytes with one little-endian field overwritten.
    static std::string patched(std::string bytes, std::size_t offset, std::uint32_t value,
                               std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) {
            bytes[offset + i] = static_cast<char>(value >> (8 * i) & 0xFF);
        }
        return bytes;
    }

    static std::size_t centralDirectoryOffset(const std::string& bytes) {
        return bytes.find("PK\x01\x02");
    }

    TemporaryDirectory directory;
};

TEST_F(ZipInspectionTest, ReturnsTheSingleTopLevelApplicationName) {
    EXPECT_EQ(inspect(samplePackage()), "Sample.app");
}

TEST_F(ZipInspectionTest, AcceptsPackagesWithoutFolderEntriesOrUnixModes) {
    ZipWriter zip;
    zip.add({.name = "Sample.app/Contents/Info.plist", .data = "x", .versionMadeBy = 20});
    EXPECT_EQ(inspect(zip), "Sample.app");
}

TEST_F(ZipInspectionTest, KeepsTheTopLevelNameAsStored) {
    ZipWriter zip;
    zip.file("Échantillon Pro.app/x", "x");
    zip.file("échantillon pro.app/y", "y").name = "Échantillon Pro.app/y";
    EXPECT_EQ(inspect(zip), "Échantillon Pro.app");
}

TEST_F(ZipInspectionTest, RefusesFilesTooShortToHoldAnEndRecord) {
    expectRejected(save(""), incomplete);
    expectRejected(save(std::string(21, '\0')), incomplete);
}

TEST_F(ZipInspectionTest, FindsTheEndRecordOnlyWhenItsCommentReachesTheEnd) {
    ZipWriter zip = samplePackage();
    zip.comment = "Release 1.2";
    EXPECT_EQ(inspect(zip), "Sample.app");
    zip.comment = std::string(65535, 'c');
    EXPECT_EQ(inspect(zip), "Sample.app");

    zip.trailing = "!";
    expectRejected(zip, notSupported);
    zip.comment = "Release 1.2";
    expectRejected(zip, notSupported);
    zip.trailing.clear();
    zip.end.commentLength = 12;
    expectRejected(zip, notSupported);
}

TEST_F(ZipInspectionTest, SearchesNoFurtherBackThanTheLongestComment) {
    ZipWriter zip = samplePackage();
    // The real end record sits 65,536 bytes before the end: one byte outside the window.
    zip.comment = std::string(65535, 'c');
    zip.trailing = "x";
    zip.end.commentLength = 65535;
    expectRejected(zip, notSupported);
}

TEST_F(ZipInspectionTest, RefusesSplitEmptyAndZip64EndRecords) {
    expectRejected(ZipWriter(), notSupported);
    const std::vector<ZipEndRecord> records = {
        {.thisDisk = 1},
        {.directoryDisk = 1},
        {.entriesOnThisDisk = 3},
        {.entriesOnThisDisk = 0, .totalEntries = 0},
        {.entriesOnThisDisk = 0xFFFF, .totalEntries = 0xFFFF},
    };
    for (const ZipEndRecord& record : records) {
        ZipWriter zip = samplePackage();
        zip.end = record;
        expectRejected(zip, notSupported);
    }
}

TEST_F(ZipInspectionTest, RefusesADirectoryThatDoesNotEndAtTheEndRecord) {
    for (const ZipEndRecord& record : std::vector<ZipEndRecord>{
             {.directorySize = 0},
             {.directorySize = 46},
             {.directoryOffset = 0xFFFFFFFF},
             {.directorySize = 0xFFFFFFFF, .directoryOffset = 0xFFFFFFFF},
         }) {
        ZipWriter zip = samplePackage();
        zip.end = record;
        expectRejected(zip, directoryIncomplete);
    }
    ZipWriter prefixed = samplePackage();
    prefixed.prefix = "#!/bin/sh\nexit 0\n";
    prefixed.offsetsIgnorePrefix = true;
    expectRejected(prefixed, directoryIncomplete);
}

TEST_F(ZipInspectionTest, AcceptsAPrefixWhenTheOffsetsCountIt) {
    ZipWriter zip = samplePackage();
    zip.prefix = "#!/bin/sh\nexit 0\n";
    EXPECT_EQ(inspect(zip), "Sample.app");
}

TEST_F(ZipInspectionTest, RefusesEntriesThatAreNotCentralHeaders) {
    ZipWriter more = samplePackage();
    more.end.entriesOnThisDisk = more.end.totalEntries = 5;
    expectRejected(more, directoryInvalid);

    const std::string bytes = samplePackage().bytes();
    expectRejected(save(patched(bytes, centralDirectoryOffset(bytes), 0x04034B50, 4)),
                   directoryInvalid);
}

TEST_F(ZipInspectionTest, RefusesInvalidOrEncryptedNames) {
    for (const std::string& name : std::vector<std::string>{
             "/Sample.app/x", "Sample.app\\x", "Sample.app/a:b", std::string("Sample.app/a\0b", 14),
             "Sample.app/\xff", "Sample.app/\xc3\xa9\xc3", "Sample.app/\xed\xa0\x80",
             "Sample.app/\xc0\xaf"}) {
        ZipWriter zip = samplePackage();
        zip.file(name, "x");
        expectRejected(zip, invalidPath);
    }
    ZipWriter encrypted = samplePackage();
    encrypted.entries.back().flags = 0x0001;
    expectRejected(encrypted, invalidPath);

    ZipWriter unnamed = samplePackage();
    unnamed.file("", "x").localName = "Sample.app/y";
    expectRejected(unnamed, invalidPath);
}

TEST_F(ZipInspectionTest, RefusesAnEntryThatOverrunsTheDirectory) {
    const std::string bytes = samplePackage().bytes();
    const std::size_t lastEntry = bytes.rfind("PK\x01\x02");
    expectRejected(save(patched(bytes, lastEntry + 30, 200, 2)), invalidPath);
}

TEST_F(ZipInspectionTest, RefusesDotAndEmptyPieces) {
    for (const char* name : {"Sample.app/Contents/../x", "./Sample.app/x", "Sample.app//x",
                             "Sample.app/.", "Sample.app/x/..", "Sample.app/../../x", "."}) {
        ZipWriter zip = samplePackage();
        zip.file(name, "x");
        expectRejected(zip, unsafePath);
    }
}

TEST_F(ZipInspectionTest, RefusesNamesEqualAfterTrimmingCompositionAndCase) {
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"Sample.app/Contents/Info.plist", "Sample.app/contents/INFO.plist"},
        {"Sample.app/caf\xc3\xa9", "Sample.app/cafe\xcc\x81"},
        {"Sample.app/\xd0\x9f\xd0\xa0\xd0\x98", "Sample.app/\xd0\xbf\xd1\x80\xd0\xb8"},
        {"Sample.app/a", "Sample.app/a/"},
    };
    for (const auto& [first, second] : pairs) {
        ZipWriter zip = samplePackage();
        zip.file(first, "1");
        zip.file(second, "2");
        expectRejected(zip, duplicatePath);
    }
}

TEST_F(ZipInspectionTest, RefusesLinksAndSpecialFiles) {
    for (const std::uint32_t mode : {0xA1EDu, unsigned{S_IFCHR | 0644}, unsigned{S_IFBLK | 0644},
                                     unsigned{S_IFIFO | 0644}, unsigned{S_IFSOCK | 0644}}) {
        ZipWriter zip = samplePackage();
        zip.file("Sample.app/Contents/link", "Info.plist").unixMode(mode);
        expectRejected(zip, specialFile);
    }
}

TEST_F(ZipInspectionTest, RefusesZip64MarkersAndLaterDisks) {
    const std::vector<void (*)(ZipEntry&)> changes = {
        [](ZipEntry& entry) { entry.uncompressedSize = 0xFFFFFFFF; },
        [](ZipEntry& entry) { entry.compressedSize = 0xFFFFFFFF; },
        [](ZipEntry& entry) { entry.localHeaderOffset = 0xFFFFFFFF; },
        [](ZipEntry& entry) { entry.diskNumberStart = 1; },
    };
    for (const auto change : changes) {
        ZipWriter zip = samplePackage();
        change(zip.entries.back());
        expectRejected(zip, zip64);
    }
}

TEST_F(ZipInspectionTest, AllowsAnUnpackedTotalOfExactlyTwentyGiB) {
    ZipWriter zip;
    for (int i = 0; i < 5; ++i) {
        zip.file("Sample.app/part" + std::to_string(i), "").uncompressedSize = 0xFFFFFFFE;
    }
    ZipEntry& last = zip.file("Sample.app/last", "");
    last.uncompressedSize = 10;
    EXPECT_EQ(inspect(zip), "Sample.app");

    last.uncompressedSize = 11;
    expectRejected(zip, tooLarge);
}

TEST_F(ZipInspectionTest, RefusesLocalHeadersThatDisagreeOrAreMissing) {
    const std::vector<void (*)(ZipEntry&)> changes = {
        [](ZipEntry& entry) { entry.localName = "Sample.app/Contents/MacOS/Other"; },
        [](ZipEntry& entry) { entry.localName = "Sample.app/Contents/MacOS/Sample2"; },
        [](ZipEntry& entry) { entry.localFlags = 0x0008; },
        [](ZipEntry& entry) { entry.localMethod = 8; },
        [](ZipEntry& entry) { entry.localHeaderOffset = 4; },
        [](ZipEntry& entry) { entry.localExtra = std::string(400, 'x'); },
    };
    for (const auto change : changes) {
        ZipWriter zip = samplePackage();
        change(zip.entries.back());
        if (zip.entries.back().localExtra.size() > 0) {
            // The local header's extra length reaches past the central directory.
            std::string bytes = zip.bytes();
            const std::size_t local = bytes.rfind("PK\x03\x04");
            expectRejected(save(patched(bytes, local + 28, 0xFFFF, 2)), recordsConflict);
            continue;
        }
        expectRejected(zip, recordsConflict);
    }
    ZipWriter pointingAtDirectory = samplePackage();
    const std::string bytes = pointingAtDirectory.bytes();
    pointingAtDirectory.entries.back().localHeaderOffset =
        static_cast<std::uint32_t>(centralDirectoryOffset(bytes));
    expectRejected(pointingAtDirectory, recordsConflict);
}

TEST_F(ZipInspectionTest, AcceptsDifferingMethodsFlagsAndExtrasThatBothHeadersAgreeOn) {
    ZipWriter zip = samplePackage();
    zip.entries.back().method = 8;
    zip.entries.back().flags = 0x0800;
    zip.entries.back().extra = std::string(9, 'e');
    zip.entries.back().localExtra = std::string(5, 'l');
    zip.entries.back().comment = "entry comment";
    zip.file("Sample.app/Contents/Resources/data", "abc").method = 12;
    EXPECT_EQ(inspect(zip), "Sample.app");
}

TEST_F(ZipInspectionTest, RequiresExactlyOneTopLevelApplicationFolder) {
    const std::vector<std::vector<std::string>> trees = {
        {"Sample.app/x", "Other.app/y"}, {"Sample/x"}, {"Sample.APP/x"}, {"Sample.app/x", "README"},
        {"__MACOSX/._Sample.app"},
    };
    for (const auto& names : trees) {
        ZipWriter zip;
        for (const std::string& name : names) {
            zip.file(name, "x");
        }
        expectRejected(zip, notOneApp);
    }
    ZipWriter shortDirectory = samplePackage();
    shortDirectory.end.entriesOnThisDisk = shortDirectory.end.totalEntries = 3;
    expectRejected(shortDirectory, notOneApp);
}

TEST_F(ZipInspectionTest, LetsResourceForkEntriesBesideTheAppButChecksThem) {
    ZipWriter zip = samplePackage();
    zip.folder("__MACOSX/");
    zip.file("__MACOSX/Sample.app/._Info.plist", "fork");
    EXPECT_EQ(inspect(zip), "Sample.app");

    zip.file("__MACOSX/../x", "fork");
    expectRejected(zip, unsafePath);
    zip.entries.pop_back();
    zip.file("__macosx/._x", "fork");
    expectRejected(zip, notOneApp);
}

TEST_F(ZipInspectionTest, RefusesPathsThroughStoredFiles) {
    ZipWriter zip = samplePackage();
    zip.file("Sample.app/Contents/Resources", "a file");
    zip.file("Sample.app/contents/resources/b/c", "below it");
    expectRejected(zip, fileFolderConflict);

    ZipWriter topLevelFile;
    topLevelFile.file("Sample.app", "a file");
    topLevelFile.file("Sample.app/x", "below it");
    expectRejected(topLevelFile, fileFolderConflict);
}

TEST_F(ZipInspectionTest, PassesFileErrorsThrough) {
    EXPECT_THROW((void)CenterInstaller::inspectZIP(directory / "missing.zip"),
                 std::filesystem::filesystem_error);
    EXPECT_THROW((void)CenterInstaller::inspectZIP(directory.path()),
                 std::filesystem::filesystem_error);
    ASSERT_EQ(::mkfifo((directory / "pipe.zip").c_str(), 0600), 0);
    EXPECT_THROW((void)CenterInstaller::inspectZIP(directory / "pipe.zip"),
                 std::filesystem::filesystem_error);
}

TEST_F(ZipInspectionTest, AcceptsWhatTheZipToolWrites) {
    directory.write("tree/Sample.app/Contents/Info.plist", "<plist/>");
    directory.write("tree/Sample.app/Contents/MacOS/Sample", std::string(100000, 's'));
    directory.write("tree/Sample.app/Contents/Resources/\xe4\xb8\x96\xe7\x95\x8c.txt", "world");
    const std::string command = "cd '" + (directory / "tree").string() +
                                "' && zip -qrX ../tool.zip Sample.app -z < /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(CenterInstaller::inspectZIP(directory / "tool.zip"), "Sample.app");

    std::filesystem::create_symlink("Info.plist", directory / "tree/Sample.app/Contents/link");
    const std::string withLink =
        "cd '" + (directory / "tree").string() + "' && zip -qryX ../link.zip Sample.app";
    ASSERT_EQ(std::system(withLink.c_str()), 0);
    expectRejected(directory / "link.zip", specialFile);
}

struct CorpusCase {
    const char* file;
    const char* sentence;
};

// Archives from other projects' test suites; each is refused for the first rule it breaks.
class ZipCorpusTest : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(ZipCorpusTest, RefusesWithTheFirstBrokenRule) {
    expectRejected(testData / GetParam().file, GetParam().sentence);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ZipCorpusTest,
    ::testing::Values(
        CorpusCase{"go-archive-zip/readme.zip", notSupported},
        CorpusCase{"go-archive-zip/test-trailing-junk.zip", notSupported},
        CorpusCase{"go-archive-zip/zip64.zip", notSupported},
        CorpusCase{"libarchive-zip/test_read_format_zip_with_invalid_traditional_eocd.zip",
                   notSupported},
        CorpusCase{"go-archive-zip/test-baddirsz.zip", directoryIncomplete},
        CorpusCase{"cpython-zip/exe_with_zip.payload-zeroed", directoryIncomplete},
        CorpusCase{"libarchive-zip/test_read_format_zip_padded1.zip", directoryIncomplete},
        CorpusCase{"cpython-zip/zip_cp437_header.zip", invalidPath},
        CorpusCase{"libarchive-zip/test_compat_zip_8.zip", invalidPath},
        CorpusCase{"libarchive-zip/test_read_format_zip_7075_utf8_paths.zip", invalidPath},
        CorpusCase{"libarchive-zip/test_read_format_zip_traditional_encryption_data.zip",
                   invalidPath},
        CorpusCase{"libarchive-zip/test_read_format_zip_winzip_aes256.zip", invalidPath},
        CorpusCase{"go-archive-zip/dupdir.zip", duplicatePath},
        CorpusCase{"libarchive-zip/test_read_format_zip_filename_utf8_ru.zip", duplicatePath},
        CorpusCase{"go-archive-zip/symlink.zip", specialFile},
        CorpusCase{"libarchive-zip/test_read_format_zip_7z_lzma.payload-zeroed.zip", specialFile},
        CorpusCase{"libarchive-zip/test_read_format_zip_uncompressed_size_off_by_4gib.zip", zip64},
        CorpusCase{"libarchive-zip/test_read_format_zip.zip", recordsConflict},
        CorpusCase{"go-archive-zip/test.zip", notOneApp},
        CorpusCase{"go-archive-zip/utf8-osx.zip", notOneApp},
        CorpusCase{"libarchive-zip/test_compat_zip_4.zip", notOneApp},
        CorpusCase{"libarchive-zip/test_read_format_zip_mac_metadata.zip", notOneApp}));

} // namespace
