#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryDirectory.h"

#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

using nlohmann::json;

namespace {

const std::filesystem::path kestryn = KESTRYN_BIN_DIR "/kestryn";
const std::filesystem::path publish = KESTRYN_BIN_DIR "/kestryn-publish";

class PublisherVerbs : public ::testing::Test {
  protected:
    TemporaryDirectory folder;
    json catalog = json::parse(std::ifstream(KESTRYN_RESOURCES_DIR "/Catalog.json"));

    void SetUp() override {
        ProgramResult keygen = runProgram(publish, {"keygen", (folder / "keys").string()});
        ASSERT_EQ(keygen.exitCode, 0) << keygen.err;
    }
    ProgramResult sign(const json& document) const {
        return runProgram(publish, {"sign", folder.write("catalog.json", document.dump()).string(),
                                    "--key", (folder / "keys" / "private.key").string()});
    }
};

TEST_F(PublisherVerbs, KeygenWritesAPrivateKeyOnlyItsOwnerCanReadAndNeverOverwrites) {
    struct stat info {};
    ASSERT_EQ(::stat((folder / "keys" / "private.key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::ifstream publicKey(folder / "keys" / "PublicKey.txt");
    std::string line;
    std::getline(publicKey, line);
    EXPECT_EQ(line.size(), 44u);

    ProgramResult again = runProgram(publish, {"keygen", (folder / "keys").string()});
    EXPECT_EQ(again.exitCode, 1);
    std::getline(std::ifstream(folder / "keys" / "PublicKey.txt"), line);
    EXPECT_EQ(line.size(), 44u);
}

TEST_F(PublisherVerbs, ASignedCatalogVerifiesWithTheCenter) {
    ProgramResult signing = sign(catalog);
    ASSERT_EQ(signing.exitCode, 0) << signing.err;
    ProgramResult verified =
        runProgram(kestryn, {"verify-catalog", folder.write("envelope.json", signing.out).string(),
                             "--key", (folder / "keys" / "PublicKey.txt").string()});
    ASSERT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_EQ(json::parse(verified.out), catalog);
}

TEST_F(PublisherVerbs, SignRefusesACatalogTheCenterWouldReject) {
    json preview = catalog;
    for (json& product : preview["products"]) {
        if (product["id"] == "effects") {
            product["release"] = {
                {"version", "1.0"}, {"build", "1"}, {"publishedAt", ""}, {"notes", json::array()}};
        }
    }
    ProgramResult result = sign(preview);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "幻彩工坊目前仅为界面预览，不能包含安装或更新版本。\n");
    EXPECT_TRUE(result.out.empty());

    json stranger = catalog;
    stranger["products"][0]["id"] = "stranger";
    EXPECT_EQ(sign(stranger).err, "发布清单包含未授权的软件标识。\n");
}

TEST_F(PublisherVerbs, ArtifactDescribesAFileForTheCatalog) {
    std::filesystem::path file = folder.write("Sound.zip", "abc");
    ProgramResult result = runProgram(
        publish, {"artifact", file.string(), "--url", "https://downloads.example.com/Sound.zip"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(json::parse(result.out),
              (json{{"url", "https://downloads.example.com/Sound.zip"},
                    {"sha256", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                    {"byteCount", 3},
                    {"format", "zip"}}));

    ProgramResult insecure =
        runProgram(publish, {"artifact", file.string(), "--url", "http://example.com/Sound.zip"});
    EXPECT_EQ(insecure.exitCode, 1);
    EXPECT_EQ(insecure.err, "更新地址必须使用 HTTPS，且不能包含用户名或密码。\n");
    EXPECT_EQ(runProgram(publish, {"artifact", file.string(), "--url", "https://x.example/a",
                                   "--format", "tar"})
                  .exitCode,
              2);
}

} // namespace
