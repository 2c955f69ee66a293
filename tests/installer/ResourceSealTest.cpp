#include "installer/ResourceSeal.h"

#include "tests/installer/InstallFixture.h"
#include "tests/support/Hex.h"

namespace {

namespace fs = std::filesystem;
namespace Seal = CenterInstaller::ResourceSeal;

// A SHA-256 entry of 32 bytes that match no file.
const std::string hash = "<key>hash2</key><data>" + std::string(43, 'A') + "=</data>";

class ResourceSeal : public ::testing::Test {
  protected:
    TemporaryDirectory temp;
    fs::path app = writeBundle(temp.path(), "Sample.app");

    // Rewrites the seal with one more entry under files2, holding these XML keys and values.
    void addSealEntry(const std::string& key, const std::string& entry) {
        std::string xml = CenterCore::readFileContents(Seal::sealPath(app), 1 << 20);
        std::size_t files = xml.find("<dict>", xml.find("<key>files2</key>")) + 6;
        temp.write(Seal::sealPath(app),
                   xml.insert(files, "<key>" + key + "</key><dict>" + entry + "</dict>"));
    }
    void link(const fs::path& target, const std::string& name) {
        fs::create_symlink(target, app / "Contents/Resources" / name);
    }
};

TEST_F(ResourceSeal, AcceptsTheSealedBundleWithItsLinksAndAbsentOptionalEntries) {
    link("data.bin", "alias");
    Seal::write(app);
    addSealEntry("Resources/optional.bin", hash + "<key>optional</key><true/>");
    EXPECT_NO_THROW(Seal::check(app));
}

TEST_F(ResourceSeal, EachFaultNamesItsReason) {
    std::vector<std::pair<std::function<void()>, std::string>> rows = {
        {[&] { temp.write(app / "Contents/MacOS/Sample", "#!/bin/sh\nexit 1\n"); },
         "已签名的文件被修改：MacOS/Sample"},
        {[&] { fs::remove(app / "Contents/Resources/data.bin"); },
         "已签名的文件缺失：Resources/data.bin"},
        {[&] { temp.write(app / "Contents/Resources/extra.txt", "x"); },
         "包含未签名的文件：Resources/extra.txt"},
        {[&] { fs::remove_all(app / "Contents/_CodeSignature"); },
         "未签名（缺少 Contents/_CodeSignature/CodeResources）。"},
        {[&] { addSealEntry("../Outside", hash); }, "签名文件无效。"},
        // A binary seal whose files2 key is UTF-16 "a", U+0000, "b": libplist would abort the
        // process reading that key.
        {[&] {
             temp.write(Seal::sealPath(app),
                        hexToBytes("62706c6973743030d101025666696c657332d1030463006100000062d008"
                                   "0b12151c00000000000001010000000000000005000000000000000000"
                                   "0000000000001d"));
         },
         "签名文件无效。"},
        {[&] {
             addSealEntry("Resources/optional.bin", hash + "<key>optional</key><true/>");
             temp.write(app / "Contents/Resources/optional.bin", "other");
         },
         "已签名的文件被修改：Resources/optional.bin"},
        {[&] {
             addSealEntry("Frameworks/Helper.framework",
                          "<key>cdhash</key><data>" + std::string(27, 'A') + "=</data>");
         },
         "包含无法在本机验证的嵌套代码：Frameworks/Helper.framework"},
        {[&] {
             link("data.bin", "alias");
             Seal::write(app);
             fs::remove(app / "Contents/Resources/alias");
             link("../MacOS/Sample", "alias");
         },
         "已签名的文件被修改：Resources/alias"},
        {[&] {
             link("/etc/passwd", "escape");
             Seal::write(app);
         },
         "链接指向应用之外：Resources/escape"}};
    for (const auto& [change, reason] : rows) {
        SCOPED_TRACE(reason);
        fs::remove_all(app);
        writeBundle(temp.path(), "Sample.app");
        change();
        EXPECT_THAT([&] { Seal::check(app); },
                    ThrowsCenterError(CenterError::Kind::install,
                                      "验证或安装未完成：Sample.app：" + reason));
    }
}

// An installed copy is checked for every departure at once, so the user learns all of them.
TEST_F(ResourceSeal, ListsEveryDepartureInTheSealsOrderThenTheContents) {
    link("/etc/passwd", "escape");
    Seal::write(app);
    temp.write(app / "Contents/MacOS/Sample", "#!/bin/sh\nexit 1\n");
    fs::remove(app / "Contents/Resources/data.bin");
    temp.write(app / "Contents/Resources/新增 文件.txt", "x");
    std::vector<std::pair<Seal::SealProblem::Kind, std::string>> found;
    for (const Seal::SealProblem& problem : Seal::problems(app)) {
        found.emplace_back(problem.kind, problem.path);
    }
    using Kind = Seal::SealProblem::Kind;
    EXPECT_EQ(found, (decltype(found){{Kind::changed, "MacOS/Sample"},
                                      {Kind::missing, "Resources/data.bin"},
                                      {Kind::linkOutside, "Resources/escape"},
                                      {Kind::unsealed, "Resources/新增 文件.txt"}}));
}

} // namespace
