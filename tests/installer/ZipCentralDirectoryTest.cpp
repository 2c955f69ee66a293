#include "installer/ZipCentralDirectory.h"

#include "core/CenterError.h"
#include "installer/ZipRules.h"
#include "tests/support/CenterErrorMatcher.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/ZipWriter.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string_view endRecord = "PK\x05\x06";
const std::string_view centralEntry = "PK\x01\x02";
const std::string_view localHeader = "PK\x03\x04";
// The sample package's last entry, its executable: each case changes one thing in the sample,
// mostly there.
const std::string lastName = "Sample.app/Contents/MacOS/Sample";

// The sample's bytes with one little-endian field overwritten, `offset` bytes into the last
// record that starts with `signature`.
std::string patched(std::string_view signature, std::size_t offset, std::uint64_t value,
                    std::size_t width) {
    return patchedField(sampleApplicationZip().bytes(), signature, offset, value, width);
}

// The sample with these changes made to it, as bytes.
std::string sampleWith(const std::function<void(ZipWriter&)>& change) {
    ZipWriter zip = sampleApplicationZip();
    change(zip);
    return zip.bytes();
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

// A package of files with these names, separated by "|".
std::string named(const std::string& names) {
    ZipWriter zip;
    for (std::size_t start = 0, bar = 0; bar != names.npos; start = bar + 1) {
        bar = names.find('|', start);
        zip.file(names.substr(start, bar - start), "x");
    }
    return zip.bytes();
}

// An archive from another project's test suite.
std::string corpus(const char* file) {
    return fileContents(fs::path(KESTRYN_TEST_DATA) / file);
}

class ZipInspectionTest : public ::testing::Test {
  protected:
    std::string inspect(const std::string& bytes) const {
        return CenterInstaller::inspectZIP(directory.write("package.zip", bytes));
    }

    TemporaryDirectory directory;
};

TEST_F(ZipInspectionTest, AcceptsEveryWellFormedVariantAndNamesItsApplicationAsStored) {
    std::vector<ZipWriter> variants(5, sampleApplicationZip());
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
    EXPECT_EQ(inspect(named("KESTRYN 回响工坊.app/x")), "KESTRYN 回响工坊.app");
}

// Each hostile package, made here or taken from another project's suite, is refused with the
// sentence of the first rule it breaks. One package per condition the inspection tests.
TEST_F(ZipInspectionTest, RefusesEachPackageWithTheFirstRuleItBreaks) {
    const std::string sample = sampleApplicationZip().bytes();
    auto special = [](std::uint32_t mode) {
        return sampleWith([mode](ZipWriter& zip) { zip.entries.back().mode = mode; });
    };
    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"ZIP 安装包不完整。", {"", std::string(21, '\0')}},
        // No entries, a byte after the comment, the end record beyond the comment's reach, a
        // later disk, the directory on a later disk, a disagreeing entry count, a ZIP64 count.
        {"不支持分卷、空包或 ZIP64 安装包。",
         {ZipWriter().bytes(), sample + "!",
          sampleWith([](ZipWriter& zip) { zip.comment = std::string(65535, 'c'); }) + "x",
          patched(endRecord, 4, 1, 2), patched(endRecord, 6, 1, 2), patched(endRecord, 8, 3, 2),
          patched(endRecord, 8, 0xFFFFFFFF, 4), corpus("go-archive-zip/readme.zip"),
          corpus("go-archive-zip/zip64.zip"),
          corpus("libarchive-zip/test_read_format_zip_with_invalid_traditional_eocd.zip")}},
        // A directory shorter than declared; a self-extractor's stub the offsets do not count.
        {"ZIP 目录不完整。",
         {patched(endRecord, 12, 46, 4), corpus("go-archive-zip/test-baddirsz.zip"),
          corpus("cpython-zip/exe_with_zip.payload-zeroed")}},
        // More entries than the directory holds; an entry without its signature.
        {"ZIP 目录无效。",
         {patched(endRecord, 8, 0x00050005, 4), patched(centralEntry, 0, 0x04034B50, 4)}},
        // An entry overrunning the directory, an empty name, encryption, then names.
        {"ZIP 包含无效路径或加密内容。",
         {patched(centralEntry, 30, 200, 2), patched(centralEntry, 28, 0, 2),
          patched(centralEntry, 8, 1, 2), named("/Sample.app/x"), named("Sample.app\\x"),
          named("Sample.app/a:b"), named("Sample.app/a\0b"s), named("Sample.app/\xff"),
          named("Sample.app/\xed\xa0\x80"), corpus("cpython-zip/zip_cp437_header.zip"),
          corpus("libarchive-zip/test_compat_zip_8.zip"),
          corpus("libarchive-zip/test_read_format_zip_7075_utf8_paths.zip"),
          corpus("libarchive-zip/test_read_format_zip_traditional_encryption_data.zip")}},
        {"ZIP 包含不安全路径。",
         {named("Sample.app/Contents/../x"), named("./Sample.app/x"), named("Sample.app//x"),
          named("Sample.app/."), named("__MACOSX/../x")}},
        // The same key by letter case, by composition, by Cyrillic case, as file and folder.
        {"ZIP 包含重复或冲突路径。",
         {named("Sample.app/Contents/Info.plist|Sample.app/contents/INFO.plist"),
          named("Sample.app/caf\xc3\xa9|Sample.app/cafe\xcc\x81"),
          named("Sample.app/\xd0\x9f\xd0\xa0\xd0\x98|Sample.app/\xd0\xbf\xd1\x80\xd0\xb8"),
          named("Sample.app/a|Sample.app/a/"), corpus("go-archive-zip/dupdir.zip"),
          corpus("libarchive-zip/test_read_format_zip_filename_utf8_ru.zip")}},
        {"ZIP 文件与文件夹路径冲突。",
         {named("Sample.app/Contents/Resources|Sample.app/contents/resources/b/c"),
          named("Sample.app|Sample.app/x")}},
        {"此安装方式不支持符号链接或特殊文件，请使用专用安装包。",
         {special(S_IFCHR | 0644), special(S_IFIFO | 0644), special(S_IFSOCK | 0644),
          corpus("go-archive-zip/symlink.zip")}},
        // Compressed or uncompressed size, disk or local offset of ZIP64.
        {"不支持 ZIP64 或分卷安装包。",
         {patched(centralEntry, 20, 0xFFFFFFFF, 4), patched(centralEntry, 24, 0xFFFFFFFF, 4),
          patched(centralEntry, 34, 1, 2), patched(centralEntry, 42, 0xFFFFFFFF, 4),
          corpus("libarchive-zip/test_read_format_zip_uncompressed_size_off_by_4gib.zip")}},
        {"安装包解压后体积过大。", {sampleWith([](ZipWriter& zip) {
             declare(zip, CenterInstaller::maximumUnpackedBytes - 18 + 1);
         })}},
        // Local flags, method, name length, extra into the directory, name; no local signature;
        // the local header inside the directory.
        {"ZIP 的文件记录存在冲突。",
         {patched(localHeader, 6, 0x0008, 2), patched(localHeader, 8, 8, 2),
          patched(localHeader, 26, lastName.size() + 1, 2), patched(localHeader, 28, 0xFFFF, 2),
          patched(localHeader, 30, 'X', 1), patched(centralEntry, 42, 4, 4),
          patched(centralEntry, 42, sample.find(centralEntry), 4),
          corpus("libarchive-zip/test_read_format_zip.zip")}},
        // Fewer entries than the directory holds, then what lies at the top level.
        {"安装包必须只包含一个独立的 .app 软件。",
         {patched(endRecord, 8, 0x00030003, 4), named("Sample.app/x|Other.app/y"),
          named("Sample/x"), named("Sample.APP/x"), named("Sample.app/x|README"),
          named("__MACOSX/._Sample.app"), named("Sample.app/x|__macosx/._x"),
          corpus("go-archive-zip/test.zip"), corpus("libarchive-zip/test_compat_zip_4.zip")}},
    };
    for (const auto& [sentence, packages] : cases) {
        for (std::size_t index = 0; index < packages.size(); ++index) {
            SCOPED_TRACE(std::string(sentence) + " package " + std::to_string(index));
            EXPECT_THAT([&] { static_cast<void>(inspect(packages[index])); },
                        ThrowsCenterError(CenterError::Kind::invalid, sentence));
        }
    }
}

} // namespace
