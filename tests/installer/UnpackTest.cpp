#include "installer/Unpack.h"

#include "core/CenterError.h"
#include "tests/support/CenterErrorMatcher.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/ZipWriter.h"

#include <clocale>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

unsigned mode(const fs::path& item) {
    return static_cast<unsigned>(fs::symlink_status(item).permissions());
}

// Unpacks real packages into a staging folder that sits inside a larger folder, so that
// anything escaping the staging folder would be seen beside it.
class UnpackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(staging);
        ::umask(processUmask = ::umask(0));
    }

    fs::path package(const ZipWriter& zip) const {
        return outside.write("package.zip", zip.bytes());
    }

    TemporaryDirectory outside;
    fs::path staging = outside / "staging";
    mode_t processUmask = 0;
};

// Services run under the plain C locale; product folders are Chinese and resources may carry
// accents (composed or not) and emoji. Every name lands as the same UTF-8 bytes under any locale.
TEST_F(UnpackTest, WritesEveryEntryWithItsNameContentAndAMaskedModeUnderAnyLocale) {
    const std::string top = "KESTRYN 回响工坊.app/Contents/";
    ZipWriter zip;
    zip.folder("KESTRYN 回响工坊.app/");
    // A file ahead of its folder's entry, which makes the folder read-only.
    zip.file(top + "Locked/file", "inside");
    zip.folder(top + "Locked/", 0555);
    zip.file(top + "MacOS/Sample", "#!/bin/sh\n", 0755);
    zip.file(top + "MacOS/helper", "#!/bin/sh\n", 06755);
    zip.folder(top + "Cache/", 01777);
    zip.file(top + "Resources/large.bin", std::string(3 << 20, 'z')).method = 8;
    zip.file(top + "Resources/empty-deflated", "").method = 8;
    const std::vector<std::string> names = {"说明 文档.txt", "Caf\u00e9.txt",
                                            "Re\u0301sume\u0301.txt", "🎨 调色板/色彩.json"};
    for (const std::string& name : names) {
        zip.file(top + "Resources/" + name, name).method = 8;
    }
    auto content = [](int i) { return std::string(1000 + i, static_cast<char>('a' + i % 26)); };
    for (int i = 0; i < 300; ++i) {
        zip.file(top + "Resources/file-" + std::to_string(i), content(i)).method = 8;
    }
    // Through a link to the staging folder, as a temporary folder under a linked /var is.
    fs::create_directory_symlink(staging, outside / "link-to-staging");
    const fs::path app = staging / top;
    for (const char* locale : {"C", "C.UTF-8"}) {
        SCOPED_TRACE(locale);
        const std::string previous = std::setlocale(LC_ALL, nullptr);
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr);
        CenterInstaller::unpackZIP(package(zip), outside / "link-to-staging");
        std::setlocale(LC_ALL, previous.c_str());

        EXPECT_EQ(fileContents(app / "Locked/file"), "inside");
        EXPECT_EQ(fileContents(app / "Resources/large.bin"), std::string(3 << 20, 'z'));
        EXPECT_EQ(fs::file_size(app / "Resources/empty-deflated"), 0u);
        for (const std::string& name : names) {
            EXPECT_EQ(fileContents(app / "Resources" / name), name);
        }
        for (int i = 0; i < 300; ++i) {
            EXPECT_EQ(fileContents(app / ("Resources/file-" + std::to_string(i))), content(i));
        }
        EXPECT_EQ(mode(app / "Resources/large.bin"), 0644u);
        EXPECT_EQ(mode(app / "Locked"), 0555u);
        EXPECT_EQ(mode(app / "MacOS/Sample"), 0755u);
        // Set-id and sticky bits never survive.
        EXPECT_EQ(mode(app / "MacOS/helper"), 0755u);
        EXPECT_EQ(mode(app / "Cache"), 0777u);
        fs::permissions(app / "Locked", fs::perms(0755));
        fs::remove_all(staging / "KESTRYN 回响工坊.app");
    }
}

// Each unpacking thread's writer reads the umask by setting it to 0 and back; made at once, they
// could leave the whole process without one, and every file it writes later open to all.
TEST_F(UnpackTest, LeavesTheProcessUmaskAsItWas) {
    ZipWriter zip = sampleApplicationZip();
    zip.file("Sample.app/Contents/Resources/data", "payload");
    const fs::path file = package(zip);
    for (int run = 0; run < 400; ++run) {
        fs::remove_all(staging / "Sample.app");
        CenterInstaller::unpackZIP(file, staging);
    }
    EXPECT_EQ(::umask(processUmask), processUmask);
}

// The sample with one more file, Resources/x, changed as a case needs; as bytes.
std::string withFile(const std::string& data, const std::function<void(ZipEntry&)>& change) {
    ZipWriter zip = sampleApplicationZip();
    change(zip.file("Sample.app/Contents/Resources/x", data));
    return zip.bytes();
}

// What only the unpacker can see is refused, and nothing is written beside the staging folder.
TEST_F(UnpackTest, RefusesANameOrSizeOnlyTheUnpackerSeesAndDamagedData) {
    // An Info-ZIP Unicode Path field replaces the stored name for readers that honour it: tag
    // 0x7075, 15 bytes of data, version 1, the stored name's CRC, then the new name.
    std::string field{'\x75', '\x70', '\x0F', '\0', '\1'};
    for (const std::uint32_t crc = zipCRC32("Sample.app/Contents/Resources/x");
         const int shift : {0, 8, 16, 24}) {
        field += static_cast<char>(crc >> shift & 0xFF);
    }
    // More bytes come out than declared, stored or deflated.
    auto bomb = [](std::uint16_t method) {
        return withFile(std::string(8 << 20, 0), [method](ZipEntry& entry) {
            entry.method = method;
            entry.uncompressedSize = 1000;
        });
    };
    std::string corrupt = withFile("payload", [](ZipEntry&) {});
    corrupt[corrupt.find("payload")] = 'P';
    const std::vector<std::tuple<std::string, CenterError::Kind, std::string>> cases = {
        {bomb(0), CenterError::Kind::invalid, "安装包解压后体积过大。"},
        {bomb(8), CenterError::Kind::invalid, "安装包解压后体积过大。"},
        {corrupt, CenterError::Kind::install, "验证或安装未完成：安装包中的数据已损坏，无法解压。"},
        {withFile("payload",
                  [&](ZipEntry& entry) { entry.extra = entry.localExtra = field + "../escaped"; }),
         CenterError::Kind::invalid, "ZIP 包含不安全路径。"},
    };
    for (const auto& [bytes, kind, sentence] : cases) {
        SCOPED_TRACE(sentence);
        fs::remove_all(staging);
        fs::create_directory(staging);
        const fs::path zip = outside.write("package.zip", bytes);
        EXPECT_THAT([&] { CenterInstaller::unpackZIP(zip, staging); },
                    ThrowsCenterError(kind, sentence));
        for (const fs::directory_entry& item : fs::directory_iterator(outside.path())) {
            EXPECT_TRUE(item.path() == staging || item.path() == zip) << item;
        }
    }
    EXPECT_TRUE(fs::is_empty(staging)) << "the refused name came before anything was written";
}

} // namespace
