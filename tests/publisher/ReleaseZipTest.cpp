#include "publisher/ReleaseZip.h"

#include "core/CancellationError.h"
#include "core/CenterError.h"
#include "installer/Unpack.h"
#include "installer/ZipCentralDirectory.h"
#include "tests/support/Bundle.h"
#include "tests/support/CenterErrorMatcher.h"
#include "tests/support/Noise.h"
#include "tests/support/TemporaryDirectory.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

const std::string earlierRelease = "PK the release users already download";

// Packs a small but complete sealed bundle with a Chinese name: nested folders, an empty
// folder, an executable, compressible and incompressible data.
class ReleaseZipTest : public ::testing::Test {
  protected:
    void SetUp() override { freshBundle(); }

    // Writes and seals the bundle anew, over whatever an earlier case did to it.
    void freshBundle() {
        fs::remove_all(directory / "KESTRYN 回响工坊.app");
        app = writeBundle(directory.path(), "KESTRYN 回响工坊.app",
                          {.files = {{"Resources/text", std::string(200000, 't')},
                                     {"Resources/random", random}}});
        fs::create_directories(app / "Contents/Resources/Empty");
    }

    // The hidden files a pack left beside its package.
    [[nodiscard]] std::vector<fs::path> leftovers() const { return entries(directory.path(), "."); }

    TemporaryDirectory directory;
    const std::string random = noise(12345);
    fs::path app;
    fs::path package = directory / "回响工坊 1.0.zip";
};

// The names as the installer's inspection reads them (every one is Chinese), and the bundle as
// its unpacker writes it: each file byte for byte with its mode, the seal included.
TEST_F(ReleaseZipTest, WritesTheBundleUnderItsOwnNameInSortedOrderAsTheInstallerUnpacksIt) {
    EXPECT_EQ(CenterPublisher::packRelease(app.string() + "/", package), "KESTRYN 回响工坊.app");
    const std::string bytes = fileContents(package);
    const CenterInstaller::ZipContents contents = CenterInstaller::inspectZIPBytes(
        {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
    const std::string top = "KESTRYN 回响工坊.app/";
    EXPECT_EQ(std::vector<std::string>(contents.unicodeNames.begin(), contents.unicodeNames.end()),
              (std::vector<std::string>{
                  top, top + "Contents/", top + "Contents/Info.plist", top + "Contents/MacOS/",
                  top + "Contents/MacOS/Sample", top + "Contents/Resources/",
                  top + "Contents/Resources/Empty/", top + "Contents/Resources/random",
                  top + "Contents/Resources/text", top + "Contents/_CodeSignature/",
                  top + "Contents/_CodeSignature/CodeResources"}));
    const fs::path unpacked = directory / "unpacked";
    fs::create_directory(unpacked);
    CenterInstaller::unpackZIP(package, unpacked);
    EXPECT_EQ(treeSnapshot(unpacked / app.filename()), treeSnapshot(app));
}

// A stopped pack keeps the earlier package; a finished one replaces it, the same bytes every time.
TEST_F(ReleaseZipTest, ReplacesAnEarlierPackageOnlyWhenDoneWithTheSameBytesEveryTime) {
    directory.write(package.filename(), earlierRelease);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW((void)CenterPublisher::packRelease(app, package, stop.get_token()),
                 CancellationError);
    EXPECT_TRUE(fileContents(package) == earlierRelease) << "the earlier package changed";
    (void)CenterPublisher::packRelease(app, package);
    (void)CenterPublisher::packRelease(app, directory / "Again.zip");
    EXPECT_EQ(fileContents(package), fileContents(directory / "Again.zip"));
    EXPECT_TRUE(leftovers().empty());
    // Compressible text shrinks; random bytes are stored rather than grown.
    EXPECT_LT(fs::file_size(package), random.size() + 20000);
}

TEST_F(ReleaseZipTest, RefusesWhatTheCenterWouldRefuseAndKeepsTheEarlierPackage) {
    const fs::path inside = app / "Contents/Resources/Release.zip";
    const std::string unfinished = "验证或安装未完成：" + app.filename().string() + "：";
    struct Case {
        const char* what;
        std::function<void()> change; // what is done to the fresh bundle first
        std::string sentence;
        fs::path bundle = {}; // the folder packed, the fresh bundle when empty
        fs::path output = {};
    };
    const std::vector<Case> cases = {
        {"a link to the bundle",
         [&] { fs::create_directory_symlink(app, directory / "Linked.app"); },
         "应用程序包含符号链接或特殊文件，无法打包：Linked.app", directory / "Linked.app"},
        {"a file rather than a bundle", [] {},
         "找不到应用程序文件夹（应含有 Contents 文件夹）：" +
             (app / "Contents/Info.plist").string(),
         app / "Contents/Info.plist"},
        {"a folder not named .app", [&] { writeBundle(directory.path(), "KESTRYN 回响工坊"); },
         "安装包必须只包含一个独立的 .app 软件。", directory / "KESTRYN 回响工坊"},
        {"a package inside the bundle", [] {}, "安装包不能写在应用程序文件夹之内。", {}, inside},
        {"a link inside the bundle",
         [&] { fs::create_symlink("MacOS/Sample", app / "Contents/link"); },
         "应用程序包含符号链接或特殊文件，无法打包：KESTRYN 回响工坊.app/Contents/link"},
        {"more than a ZIP without ZIP64 holds",
         [&] { fs::resize_file(directory.write(app / "Contents/Resources/huge", ""), 0xFFFFFFFF); },
         "应用程序超出不含 ZIP64 的安装包所能容纳的大小，无法打包。"},
        {"an Info.plist that is not a property list",
         [&] { directory.write(app / "Contents/Info.plist", "not a property list"); },
         "应用程序缺少可读取的 Contents/Info.plist：" + app.string()},
        {"an executable without its execute permission",
         [&] { fs::permissions(app / "Contents/MacOS/Sample", fs::perms(0644)); },
         "应用程序缺少可执行文件：" + (app / "Contents/MacOS/Sample").string()},
        // The seal check is the installer's, which proves each of its faults.
        {"a file changed after sealing",
         [&] { directory.write(app / "Contents/Resources/text", "changed"); },
         unfinished + "已签名的文件被修改：Resources/text"},
    };
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.what);
        freshBundle();
        directory.write(package.filename(), earlierRelease);
        refused.change();
        EXPECT_THAT(
            [&] {
                (void)CenterPublisher::packRelease(refused.bundle.empty() ? app : refused.bundle,
                                                   refused.output.empty() ? package
                                                                          : refused.output);
            },
            // The seal check is the installer's own, which calls its refusal incomplete.
            ThrowsCenterError(refused.sentence.starts_with(unfinished) ? CenterError::Kind::install
                                                                       : CenterError::Kind::invalid,
                              refused.sentence));
        EXPECT_TRUE(fileContents(package) == earlierRelease) << "the earlier package changed";
        EXPECT_FALSE(fs::exists(inside));
        EXPECT_TRUE(leftovers().empty());
    }
}

TEST_F(ReleaseZipTest, RefusesAFolderAsThePackageAndLeavesItUntouched) {
    directory.write("site/index.html", "<p>下载</p>");
    const std::map<std::string, std::string> before = treeSnapshot(directory.path());
    for (const fs::path& output :
         {directory.path(), directory / "site", directory / "site/", directory / "site/.",
          directory / "new/", directory / "site/.."}) {
        SCOPED_TRACE(output);
        EXPECT_THAT([&] { (void)CenterPublisher::packRelease(app, output); },
                    ThrowsCenterError(CenterError::Kind::invalid,
                                      "安装包只能写成文件，不能写到文件夹：" + output.string()));
        EXPECT_EQ(treeSnapshot(directory.path()), before);
    }
}

} // namespace
