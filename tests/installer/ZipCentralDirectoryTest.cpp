#include "installer/ZipCentralDirectory.h"

#include "core/CenterError.h"
#include "installer/ZipRules.h"
#include "tests/support/CenterErrorMatcher.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/ZipWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const char* const incomplete = "ZIP 安装包不完整。";
const char* const notSupported = "不支持分卷、空包或 ZIP64 安装包。";
const char* const directoryIncomplete = "ZIP 目录不完整。";
const char* const directoryInvalid = "ZIP 目录无效。";
const char* const invalidPath = "ZIP 包含无效路径或加密内容。";
const char* const unsafePath = "ZIP 包含不安全路径。";
const char* const duplicatePath = "ZIP 包含重复或冲突路径。";
const char* const specialFile = "此安装方式不支持符号链接或特殊文件，请使用专用安装包。";
const char* const zip64 = "不支持 ZIP64 或分卷安装包。";
const char* const recordsConflict = "ZIP 的文件记录存在冲突。";
const char* const notOneApp = "安装包必须只包含一个独立的 .app 软件。";
const char* const fileFolderConflict = "ZIP 文件与文件夹路径冲突。";

const std::string_view endRecord = "PK\x05\x06";
const std::string_view centralEntry = "PK\x01\x02";
const std::string_view localHeader = "PK\x03\x04";
const std::string lastName = "Sample.app/Contents/MacOS/Sample";

// A small well-formed application package; each case changes one thing, mostly in its last entry.
ZipWriter samplePackage() {
    ZipWriter zip;
    zip.folder("Sample.app/");
    zip.folder("Sample.app/Contents/");
    zip.file("Sample.app/Contents/Info.plist", "<plist/>");
    zip.file(lastName, "#!/bin/sh\n", 0755);
    return zip;
}

// The sample's bytes with one little-endian field overwritten, `offset` bytes into the last
// record that starts with `signature`.
std::string patched(std::string_view signature, std::size_t offset, std::uint64_t value,
                    std::size_t width) {
    std::string bytes = samplePackage().bytes();
    const std::size_t record = bytes.rfind(signature);
    for (std::size_t i = 0; i < width; ++i) {
        bytes[record + offset + i] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
    return bytes;
}

// Adds empty entries declaring `total` unpacked bytes in all, none with the ZIP64 marker.
void declare(ZipWriter& zip, std::uint64_t total) {
    for (std::uint64_t left = total; left > 0;) {
        const std::uint64_t size = std::min<std::uint64_t>(left, 0xFFFFFFFE);
        zip.file("Sample.app/part" + std::to_string(left), "").uncompressedSize =
            static_cast<std::uint32_t>(size);
        left -= size;
    }
}

// Inspecting the package, as a callable.
auto inspecting(const fs::path& package) {
    return [package] { static_cast<void>(CenterInstaller::inspectZIP(package)); };
}

// Each hostile package is refused with the sentence of the first rule it breaks.
class ZipInspectionTest : public ::testing::Test {
  protected:
    std::string inspect(const std::string& bytes) const {
        return CenterInstaller::inspectZIP(directory.write("package.zip", bytes));
    }

    TemporaryDirectory directory;
};

TEST_F(ZipInspectionTest, AcceptsEveryWellFormedVariantAndNamesItsApplicationAsStored) {
    std::vector<ZipWriter> variants(5, samplePackage());
    variants[0].comment = std::string(65535, 'c');
    variants[1].prefix = "#!/bin/sh\nexit 0\n";
    ZipEntry& described = variants[2].entries.back();
    described.method = 8;
    described.extra = std::string(9, 'e');
    described.localExtra = std::string(5, 'l');
    described.comment = "entry comment";
    variants[3].file("__MACOSX/Sample.app/._Info.plist", "x");
    variants[3].file("Sample.app/Contents/Resources/\xe4\xb8\x96\xe7\x95\x8c", "x").mode = 0;
    // Exactly the limit, counting the sample's own 18 bytes.
    declare(variants[4], CenterInstaller::maximumUnpackedBytes - 18);
    for (std::size_t index = 0; index < variants.size(); ++index) {
        EXPECT_EQ(inspect(variants[index].bytes()), "Sample.app") << "variant " << index;
    }
    ZipWriter named;
    named.file("Échantillon Pro.app/x", "x");
    EXPECT_EQ(inspect(named.bytes()), "Échantillon Pro.app");
}

TEST_F(ZipInspectionTest, PassesFileErrorsThroughAndRefusesAPipeWithoutBlocking) {
    EXPECT_THROW((void)CenterInstaller::inspectZIP(directory / "missing.zip"),
                 fs::filesystem_error);
    ASSERT_EQ(::mkfifo((directory / "pipe.zip").c_str(), 0600), 0);
    EXPECT_THROW((void)CenterInstaller::inspectZIP(directory / "pipe.zip"), CenterError);
}

TEST_F(ZipInspectionTest, RefusesABrokenStructureLinksAndSpecialFiles) {
    const std::string sample = samplePackage().bytes();
    ZipWriter fullComment = samplePackage();
    fullComment.comment = std::string(65535, 'c');
    ZipWriter overLimit = samplePackage();
    declare(overLimit, CenterInstaller::maximumUnpackedBytes - 18 + 1);
    // The sample whose last entry is of this kind.
    auto special = [](std::uint32_t mode) {
        ZipWriter zip = samplePackage();
        zip.entries.back().mode = mode;
        return zip.bytes();
    };
    const std::vector<std::tuple<const char*, std::string, const char*>> packages = {
        {"empty", "", incomplete},
        {"shorter than an end record", std::string(21, '\0'), incomplete},
        {"no entries", ZipWriter().bytes(), notSupported},
        {"byte after the comment", sample + "!", notSupported},
        {"comment length past the end", patched(endRecord, 20, 1, 2), notSupported},
        {"end record outside the search window", fullComment.bytes() + "x", notSupported},
        {"later disk", patched(endRecord, 4, 1, 2), notSupported},
        {"directory on a later disk", patched(endRecord, 6, 1, 2), notSupported},
        {"entries on this disk differ", patched(endRecord, 8, 3, 2), notSupported},
        {"ZIP64 entry count", patched(endRecord, 8, 0xFFFFFFFF, 4), notSupported},
        {"directory short", patched(endRecord, 12, 46, 4), directoryIncomplete},
        {"ZIP64 directory", patched(endRecord, 12, 0xFFFFFFFFFFFFFFFF, 8), directoryIncomplete},
        {"prefix not counted", "#!/bin/sh\nexit 0\n" + sample, directoryIncomplete},
        {"more entries than directory", patched(endRecord, 8, 0x00050005, 4), directoryInvalid},
        {"entry signature", patched(centralEntry, 0, 0x04034B50, 4), directoryInvalid},
        {"entry overruns directory", patched(centralEntry, 30, 200, 2), invalidPath},
        {"empty name", patched(centralEntry, 28, 0, 2), invalidPath},
        {"encrypted", patched(centralEntry, 8, 1, 2), invalidPath},
        {"ZIP64 compressed size", patched(centralEntry, 20, 0xFFFFFFFF, 4), zip64},
        {"ZIP64 uncompressed size", patched(centralEntry, 24, 0xFFFFFFFF, 4), zip64},
        {"entry on a later disk", patched(centralEntry, 34, 1, 2), zip64},
        {"ZIP64 local offset", patched(centralEntry, 42, 0xFFFFFFFF, 4), zip64},
        {"one byte over the limit", overLimit.bytes(), "安装包解压后体积过大。"},
        {"local flags", patched(localHeader, 6, 0x0008, 2), recordsConflict},
        {"local method", patched(localHeader, 8, 8, 2), recordsConflict},
        {"local name length", patched(localHeader, 26, lastName.size() + 1, 2), recordsConflict},
        {"local extra into directory", patched(localHeader, 28, 0xFFFF, 2), recordsConflict},
        {"local name differs", patched(localHeader, 30, 'X', 1), recordsConflict},
        {"no local signature", patched(centralEntry, 42, 4, 4), recordsConflict},
        {"local header in directory", patched(centralEntry, 42, sample.find(centralEntry), 4),
         recordsConflict},
        {"fewer entries than directory", patched(endRecord, 8, 0x00030003, 4), notOneApp},
        {"symbolic link", special(S_IFLNK | 0777), specialFile},
        {"character device", special(S_IFCHR | 0644), specialFile},
        {"pipe", special(S_IFIFO | 0644), specialFile},
        {"socket", special(S_IFSOCK | 0644), specialFile},
    };
    for (const auto& [label, bytes, sentence] : packages) {
        SCOPED_TRACE(label);
        EXPECT_THAT(inspecting(directory.write("package.zip", bytes)),
                    ThrowsCenterError(CenterError::Kind::invalid, sentence));
    }
}

TEST_F(ZipInspectionTest, RefusesUnsafeOrConflictingNames) {
    // Each package lists its files' names, separated by "|".
    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {invalidPath,
         {"/Sample.app/x", "Sample.app\\x", "Sample.app/a:b", "Sample.app/a\0b"s, "Sample.app/\xff",
          "Sample.app/\xed\xa0\x80"}},
        {unsafePath,
         {"Sample.app/Contents/../x", "./Sample.app/x", "Sample.app//x", "Sample.app/.",
          "__MACOSX/../x"}},
        {duplicatePath,
         {"Sample.app/Contents/Info.plist|Sample.app/contents/INFO.plist",
          "Sample.app/caf\xc3\xa9|Sample.app/cafe\xcc\x81",
          "Sample.app/\xd0\x9f\xd0\xa0\xd0\x98|Sample.app/\xd0\xbf\xd1\x80\xd0\xb8",
          "Sample.app/a|Sample.app/a/"}},
        {fileFolderConflict,
         {"Sample.app/Contents/Resources|Sample.app/contents/resources/b/c",
          "Sample.app|Sample.app/x"}},
        {notOneApp,
         {"Sample.app/x|Other.app/y", "Sample/x", "Sample.APP/x", "Sample.app/x|README",
          "__MACOSX/._Sample.app", "Sample.app/x|__macosx/._x"}},
    };
    for (const auto& [sentence, packages] : cases) {
        for (const std::string& names : packages) {
            ZipWriter zip;
            for (std::size_t start = 0, bar = 0; bar != names.npos; start = bar + 1) {
                bar = names.find('|', start);
                zip.file(names.substr(start, bar - start), "x");
            }
            SCOPED_TRACE(names);
            EXPECT_THAT(inspecting(directory.write("package.zip", zip.bytes())),
                        ThrowsCenterError(CenterError::Kind::invalid, sentence));
        }
    }
}

// Archives from other projects' test suites.
TEST(ZipCorpusTest, RefusesEachArchiveWithTheFirstRuleItBreaks) {
    const std::vector<std::pair<const char*, const char*>> archives = {
        {"go-archive-zip/readme.zip", notSupported},
        {"go-archive-zip/zip64.zip", notSupported},
        {"libarchive-zip/test_read_format_zip_with_invalid_traditional_eocd.zip", notSupported},
        {"go-archive-zip/test-baddirsz.zip", directoryIncomplete},
        {"cpython-zip/exe_with_zip.payload-zeroed", directoryIncomplete},
        {"cpython-zip/zip_cp437_header.zip", invalidPath},
        {"libarchive-zip/test_compat_zip_8.zip", invalidPath},
        {"libarchive-zip/test_read_format_zip_7075_utf8_paths.zip", invalidPath},
        {"libarchive-zip/test_read_format_zip_traditional_encryption_data.zip", invalidPath},
        {"go-archive-zip/dupdir.zip", duplicatePath},
        {"libarchive-zip/test_read_format_zip_filename_utf8_ru.zip", duplicatePath},
        {"go-archive-zip/symlink.zip", specialFile},
        {"libarchive-zip/test_read_format_zip_uncompressed_size_off_by_4gib.zip", zip64},
        {"libarchive-zip/test_read_format_zip.zip", recordsConflict},
        {"go-archive-zip/test.zip", notOneApp},
        {"libarchive-zip/test_compat_zip_4.zip", notOneApp},
    };
    for (const auto& [file, sentence] : archives) {
        SCOPED_TRACE(file);
        EXPECT_THAT(inspecting(fs::path(KESTRYN_TEST_DATA) / file),
                    ThrowsCenterError(CenterError::Kind::invalid, sentence));
    }
}

} // namespace
