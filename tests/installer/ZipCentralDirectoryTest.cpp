#include "installer/ZipCentralDirectory.h"

#include "core/CenterError.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/ZipWriter.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

const fs::path testData = KESTRYN_TEST_DATA;

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

// A small well-formed application package; each case changes one thing.
ZipWriter samplePackage() {
    ZipWriter zip;
    zip.folder("Sample.app/");
    zip.folder("Sample.app/Contents/");
    zip.file("Sample.app/Contents/Info.plist", "<plist/>");
    zip.file("Sample.app/Contents/MacOS/Sample", "#!/bin/sh\n", 0755);
    return zip;
}

using Change = std::function<void(ZipWriter&)>;

std::string changed(const Change& change) {
    ZipWriter zip = samplePackage();
    change(zip);
    return zip.bytes();
}

// The sample with one more file, or with the last entry changed.
Change plusFile(std::string name, std::uint32_t mode = S_IFREG | 0644) {
    return [name, mode](ZipWriter& zip) { zip.file(name, "x").unixMode(mode); };
}
Change lastEntry(std::function<void(ZipEntry&)> change) {
    return [change](ZipWriter& zip) { change(zip.entries.back()); };
}

// Bytes of the sample with one little-endian field overwritten, at `offset` from the start of
// the record whose signature occurs last.
std::string patched(const char* signature, std::size_t offset, std::uint32_t value,
                    std::size_t width) {
    std::string bytes = samplePackage().bytes();
    const std::size_t record = bytes.rfind(signature);
    for (std::size_t i = 0; i < width; ++i) {
        bytes[record + offset + i] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
    return bytes;
}

// Entries whose sizes add up to `total` bytes, none of them declaring the ZIP64 marker.
Change declaring(std::uint64_t total) {
    return [total](ZipWriter& zip) {
        for (std::uint64_t left = total; left > 0;) {
            const std::uint64_t size = std::min<std::uint64_t>(left, 0xFFFFFFFE);
            zip.file("Sample.app/part" + std::to_string(left), "").uncompressedSize =
                static_cast<std::uint32_t>(size);
            left -= size;
        }
    };
}

void expectRejected(const fs::path& package, const char* sentence) {
    try {
        (void)CenterInstaller::inspectZIP(package);
        ADD_FAILURE() << package << " was accepted; expected " << sentence;
    } catch (const CenterError& error) {
        EXPECT_EQ(error.kind(), CenterError::Kind::invalid) << package;
        EXPECT_STREQ(error.what(), sentence) << package;
    }
}

class ZipInspectionTest : public ::testing::Test {
  protected:
    std::string inspect(const std::string& bytes) const {
        return CenterInstaller::inspectZIP(directory.write("package.zip", bytes));
    }

    TemporaryDirectory directory;
};

TEST_F(ZipInspectionTest, ReturnsTheTopLevelNameExactlyAsStored) {
    EXPECT_EQ(inspect(samplePackage().bytes()), "Sample.app");
    ZipWriter zip;
    zip.file("Échantillon Pro.app/x", "x");
    EXPECT_EQ(inspect(zip.bytes()), "Échantillon Pro.app");
}

TEST_F(ZipInspectionTest, AcceptsEveryWellFormedVariant) {
    const std::vector<Change> variants = {
        [](ZipWriter& zip) { zip.comment = "Release 1.2"; },
        [](ZipWriter& zip) { zip.comment = std::string(65535, 'c'); },
        [](ZipWriter& zip) { zip.prefix = "#!/bin/sh\nexit 0\n"; },
        [](ZipWriter& zip) {
            zip = ZipWriter();
            zip.add({.name = "Sample.app/Contents/Info.plist", .data = "x", .versionMadeBy = 20});
        },
        lastEntry([](ZipEntry& entry) {
            entry.method = 8;
            entry.flags = 0x0808;
            entry.extra = std::string(9, 'e');
            entry.localExtra = std::string(5, 'l');
            entry.comment = "entry comment";
        }),
        lastEntry([](ZipEntry& entry) { entry.method = 12; }),
        plusFile("__MACOSX/Sample.app/._Info.plist"),
        plusFile("Sample.app/Contents/Resources/\xe4\xb8\x96\xe7\x95\x8c", 0),
        declaring(0x500000000 - 18),
    };
    for (std::size_t index = 0; index < variants.size(); ++index) {
        EXPECT_EQ(inspect(changed(variants[index])), "Sample.app") << "variant " << index;
    }
}

TEST_F(ZipInspectionTest, PassesFileErrorsThrough) {
    EXPECT_THROW((void)CenterInstaller::inspectZIP(directory / "missing.zip"),
                 fs::filesystem_error);
    EXPECT_THROW((void)CenterInstaller::inspectZIP(directory.path()), fs::filesystem_error);
    ASSERT_EQ(::mkfifo((directory / "pipe.zip").c_str(), 0600), 0);
    EXPECT_THROW((void)CenterInstaller::inspectZIP(directory / "pipe.zip"), fs::filesystem_error);
}

TEST_F(ZipInspectionTest, JudgesWhatTheZipToolWrites) {
    directory.write("tree/Sample.app/Contents/Info.plist", "<plist/>");
    directory.write("tree/Sample.app/Contents/MacOS/Sample", std::string(100000, 's'));
    directory.write("tree/Sample.app/Contents/Resources/\xe4\xb8\x96\xe7\x95\x8c.txt", "world");
    const std::string zip = "cd '" + (directory / "tree").string() + "' && zip -qrX";
    ASSERT_EQ(std::system((zip + " ../tool.zip Sample.app").c_str()), 0);
    EXPECT_EQ(CenterInstaller::inspectZIP(directory / "tool.zip"), "Sample.app");

    fs::create_symlink("Info.plist", directory / "tree/Sample.app/Contents/link");
    ASSERT_EQ(std::system((zip + "y ../link.zip Sample.app").c_str()), 0);
    expectRejected(directory / "link.zip", specialFile);
}

struct Rejection {
    const char* label;
    std::function<std::string()> package;
    const char* sentence;
};

// Each hostile package is refused with the sentence of the first rule it breaks.
class ZipRejectionTest : public ::testing::TestWithParam<Rejection> {
  protected:
    TemporaryDirectory directory;
};

TEST_P(ZipRejectionTest, RefusesWithTheFirstBrokenRule) {
    expectRejected(directory.write("package.zip", GetParam().package()), GetParam().sentence);
}

std::function<std::string()> sample(Change change) {
    return [change] { return changed(change); };
}

std::function<std::string()> withFiles(std::vector<std::string> names) {
    return [names] {
        ZipWriter zip;
        for (const std::string& name : names) {
            zip.file(name, "x");
        }
        return zip.bytes();
    };
}

Change end(ZipEndRecord record) {
    return [record](ZipWriter& zip) { zip.end = record; };
}

INSTANTIATE_TEST_SUITE_P(
    Packages, ZipRejectionTest,
    ::testing::Values(
        Rejection{"Empty", [] { return std::string(); }, incomplete},
        Rejection{"ShorterThanAnEndRecord", [] { return std::string(21, '\0'); }, incomplete},
        Rejection{"NoEntries", [] { return ZipWriter().bytes(); }, notSupported},
        Rejection{"ByteAfterComment", sample([](ZipWriter& zip) { zip.trailing = "!"; }),
                  notSupported},
        Rejection{"CommentLengthPastEnd", sample(end({.commentLength = 1})), notSupported},
        Rejection{"EndRecordOutsideSearchWindow", sample([](ZipWriter& zip) {
                      zip.comment = std::string(65535, 'c');
                      zip.trailing = "x";
                      zip.end.commentLength = 65535;
                  }),
                  notSupported},
        Rejection{"LaterDisk", sample(end({.thisDisk = 1})), notSupported},
        Rejection{"DirectoryOnLaterDisk", sample(end({.directoryDisk = 1})), notSupported},
        Rejection{"DiskCountDiffers", sample(end({.entriesOnThisDisk = 3})), notSupported},
        Rejection{"Zip64EntryCount",
                  sample(end({.entriesOnThisDisk = 0xFFFF, .totalEntries = 0xFFFF})),
                  notSupported},
        Rejection{"DirectorySizeZero", sample(end({.directorySize = 0})), directoryIncomplete},
        Rejection{"DirectoryShort", sample(end({.directorySize = 46})), directoryIncomplete},
        Rejection{"Zip64DirectoryOffset",
                  sample(end({.directorySize = 0xFFFFFFFF, .directoryOffset = 0xFFFFFFFF})),
                  directoryIncomplete},
        Rejection{"PrefixNotCounted", sample([](ZipWriter& zip) {
                      zip.prefix = "#!/bin/sh\nexit 0\n";
                      zip.offsetsIgnorePrefix = true;
                  }),
                  directoryIncomplete},
        Rejection{"MoreEntriesThanDirectory",
                  sample(end({.entriesOnThisDisk = 5, .totalEntries = 5})), directoryInvalid},
        Rejection{"EntrySignature", [] { return patched("PK\x01\x02", 0, 0x04034B50, 4); },
                  directoryInvalid},
        Rejection{"EntryOverrunsDirectory", [] { return patched("PK\x01\x02", 30, 200, 2); },
                  invalidPath},
        Rejection{"EmptyName",
                  sample(lastEntry([](ZipEntry& entry) {
                      entry.localName = entry.name;
                      entry.name.clear();
                  })),
                  invalidPath},
        Rejection{"Encrypted", sample(lastEntry([](ZipEntry& entry) { entry.flags = 1; })),
                  invalidPath},
        Rejection{"LeadingSlash", sample(plusFile("/Sample.app/x")), invalidPath},
        Rejection{"Backslash", sample(plusFile("Sample.app\\x")), invalidPath},
        Rejection{"Colon", sample(plusFile("Sample.app/a:b")), invalidPath},
        Rejection{"Nul", sample(plusFile(std::string("Sample.app/a\0b", 14))), invalidPath},
        Rejection{"NotUTF8", sample(plusFile("Sample.app/\xff")), invalidPath},
        Rejection{"Surrogate", sample(plusFile("Sample.app/\xed\xa0\x80")), invalidPath},
        Rejection{"DotDot", sample(plusFile("Sample.app/Contents/../x")), unsafePath},
        Rejection{"LeadingDot", sample(plusFile("./Sample.app/x")), unsafePath},
        Rejection{"DoubleSlash", sample(plusFile("Sample.app//x")), unsafePath},
        Rejection{"TrailingDot", sample(plusFile("Sample.app/.")), unsafePath},
        Rejection{"UnsafeResourceFork", sample(plusFile("__MACOSX/../x")), unsafePath},
        Rejection{"SameNameOtherCase", sample(plusFile("Sample.app/contents/INFO.plist")),
                  duplicatePath},
        Rejection{"SameNameDecomposed",
                  withFiles({"Sample.app/caf\xc3\xa9", "Sample.app/cafe\xcc\x81"}), duplicatePath},
        Rejection{"SameNameCyrillicCase",
                  withFiles({"Sample.app/\xd0\x9f\xd0\xa0\xd0\x98",
                             "Sample.app/\xd0\xbf\xd1\x80\xd0\xb8"}),
                  duplicatePath},
        Rejection{"FileAndFolder", withFiles({"Sample.app/a", "Sample.app/a/"}), duplicatePath},
        Rejection{"SymbolicLink", sample(plusFile("Sample.app/link", 0xA1ED)), specialFile},
        Rejection{"CharacterDevice", sample(plusFile("Sample.app/tty", S_IFCHR | 0644)),
                  specialFile},
        Rejection{"Pipe", sample(plusFile("Sample.app/pipe", S_IFIFO | 0644)), specialFile},
        Rejection{"Socket", sample(plusFile("Sample.app/socket", S_IFSOCK | 0644)), specialFile},
        Rejection{"Zip64UncompressedSize",
                  sample(lastEntry([](ZipEntry& entry) { entry.uncompressedSize = 0xFFFFFFFF; })),
                  zip64},
        Rejection{"Zip64CompressedSize",
                  sample(lastEntry([](ZipEntry& entry) { entry.compressedSize = 0xFFFFFFFF; })),
                  zip64},
        Rejection{"Zip64LocalOffset",
                  sample(lastEntry([](ZipEntry& entry) { entry.localHeaderOffset = 0xFFFFFFFF; })),
                  zip64},
        Rejection{"EntryOnLaterDisk",
                  sample(lastEntry([](ZipEntry& entry) { entry.diskNumberStart = 1; })), zip64},
        Rejection{"OneByteOverTwentyGiB", sample(declaring(0x500000000 - 18 + 1)), tooLarge},
        Rejection{"LocalNameDiffers", sample(lastEntry([](ZipEntry& entry) {
                      entry.localName = "Sample.app/Contents/MacOS/Other";
                  })),
                  recordsConflict},
        Rejection{"LocalNameLength", sample(lastEntry([](ZipEntry& entry) {
                      entry.localName = entry.name + "2";
                  })),
                  recordsConflict},
        Rejection{"LocalFlags",
                  sample(lastEntry([](ZipEntry& entry) { entry.localFlags = 0x0008; })),
                  recordsConflict},
        Rejection{"LocalMethod", sample(lastEntry([](ZipEntry& entry) { entry.localMethod = 8; })),
                  recordsConflict},
        Rejection{"LocalSignature",
                  sample(lastEntry([](ZipEntry& entry) { entry.localHeaderOffset = 4; })),
                  recordsConflict},
        Rejection{"LocalHeaderInDirectory",
                  [] {
                      ZipWriter zip = samplePackage();
                      zip.entries.back().localHeaderOffset =
                          static_cast<std::uint32_t>(zip.bytes().find("PK\x01\x02"));
                      return zip.bytes();
                  },
                  recordsConflict},
        Rejection{"LocalExtraIntoDirectory", [] { return patched("PK\x03\x04", 28, 0xFFFF, 2); },
                  recordsConflict},
        Rejection{"TwoApplications", withFiles({"Sample.app/x", "Other.app/y"}), notOneApp},
        Rejection{"NotAnApplication", withFiles({"Sample/x"}), notOneApp},
        Rejection{"UpperCaseSuffix", withFiles({"Sample.APP/x"}), notOneApp},
        Rejection{"FileBesideApplication", withFiles({"Sample.app/x", "README"}), notOneApp},
        Rejection{"OnlyResourceForks", withFiles({"__MACOSX/._Sample.app"}), notOneApp},
        Rejection{"LowerCaseResourceForks", sample(plusFile("__macosx/._x")), notOneApp},
        Rejection{"FewerEntriesThanDirectory",
                  sample(end({.entriesOnThisDisk = 3, .totalEntries = 3})), notOneApp},
        Rejection{"PathThroughFile",
                  withFiles({"Sample.app/Contents/Resources", "Sample.app/contents/resources/b/c"}),
                  fileFolderConflict},
        Rejection{"PathThroughTopLevelFile", withFiles({"Sample.app", "Sample.app/x"}),
                  fileFolderConflict}),
    [](const ::testing::TestParamInfo<Rejection>& parameter) { return parameter.param.label; });

struct CorpusCase {
    const char* file;
    const char* sentence;
};

// Archives from other projects' test suites.
class ZipCorpusTest : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(ZipCorpusTest, RefusesWithTheFirstBrokenRule) {
    expectRejected(testData / GetParam().file, GetParam().sentence);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ZipCorpusTest,
    ::testing::Values(
        CorpusCase{"go-archive-zip/readme.zip", notSupported},
        CorpusCase{"go-archive-zip/zip64.zip", notSupported},
        CorpusCase{"libarchive-zip/test_read_format_zip_with_invalid_traditional_eocd.zip",
                   notSupported},
        CorpusCase{"go-archive-zip/test-baddirsz.zip", directoryIncomplete},
        CorpusCase{"cpython-zip/exe_with_zip.payload-zeroed", directoryIncomplete},
        CorpusCase{"cpython-zip/zip_cp437_header.zip", invalidPath},
        CorpusCase{"libarchive-zip/test_compat_zip_8.zip", invalidPath},
        CorpusCase{"libarchive-zip/test_read_format_zip_7075_utf8_paths.zip", invalidPath},
        CorpusCase{"libarchive-zip/test_read_format_zip_traditional_encryption_data.zip",
                   invalidPath},
        CorpusCase{"go-archive-zip/dupdir.zip", duplicatePath},
        CorpusCase{"libarchive-zip/test_read_format_zip_filename_utf8_ru.zip", duplicatePath},
        CorpusCase{"go-archive-zip/symlink.zip", specialFile},
        CorpusCase{"libarchive-zip/test_read_format_zip_uncompressed_size_off_by_4gib.zip", zip64},
        CorpusCase{"libarchive-zip/test_read_format_zip.zip", recordsConflict},
        CorpusCase{"go-archive-zip/test.zip", notOneApp},
        CorpusCase{"libarchive-zip/test_compat_zip_4.zip", notOneApp}));

} // namespace
