#include "core/Base64.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/PropertyListBytes.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

const std::filesystem::path kestryn = KESTRYN_BIN_DIR "/kestryn";

class CoreVerbs : public ::testing::Test {
  protected:
    TemporaryDirectory folder;

    ProgramResult run(const std::vector<std::string>& arguments) const {
        return runProgram(kestryn, arguments, {{"KESTRYN_RESOURCES", KESTRYN_RESOURCES_DIR}});
    }

    std::filesystem::path binaryBundle(const std::string& name, const char* bundleID,
                                       const char* version, const char* build) const {
        std::filesystem::path app = folder / "Applications" / name;
        folder.write(app / "Contents" / "Info.plist",
                     propertyListBytes({{"CFBundleIdentifier", bundleID},
                                        {"CFBundleShortVersionString", version},
                                        {"CFBundleVersion", build}},
                                       true));
        return app;
    }

    // The shipped catalog signed by `openssl pkeyutl`, wholly outside our code.
    std::pair<std::filesystem::path, std::filesystem::path> opensslSignedEnvelope() const {
        const std::string catalog = fileContents(KESTRYN_RESOURCES_DIR "/Catalog.json");
        folder.write("catalog.json", catalog);
        std::string shell = "cd '" + folder.path().string() +
                            "' && openssl genpkey -algorithm ed25519 -out key.pem"
                            " && openssl pkey -in key.pem -pubout -outform DER | tail -c 32 |"
                            " base64 > PublicKey.txt"
                            " && openssl pkeyutl -sign -rawin -inkey key.pem -in catalog.json"
                            " -out catalog.sig";
        ProgramResult signing = runProgram("/bin/sh", {"-c", shell});
        EXPECT_EQ(signing.exitCode, 0) << signing.err;
        std::string signature =
            runProgram("/usr/bin/base64", {"-w0", (folder / "catalog.sig").string()}).out;
        std::filesystem::path envelope = folder.write(
            "envelope.json",
            json{{"payload", CenterCore::base64Encode(catalog)}, {"signature", signature}}.dump());
        return {envelope, folder / "PublicKey.txt"};
    }
};

TEST_F(CoreVerbs, DigestCompareAppInfoAndValidateCatalogPrintTheirAnswerOrOneSentence) {
    json foreign = json::parse(std::ifstream(KESTRYN_RESOURCES_DIR "/Catalog.json"));
    foreign["products"][0]["bundleID"] = "com.example.film";
    struct Row {
        std::vector<std::string> words;
        ProgramResult expected;
    };
    const std::vector<Row> rows = {
        {{"digest", folder.write("abc", "abc").string()},
         {0, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n", ""}},
        {{"compare", "1.10", "1.9"}, {0, ">\n", ""}},
        {{"compare", "1.2", "1.2.0"}, {0, "=\n", ""}},
        {{"compare", "1.2a", "1.10a"}, {0, "<\n", ""}},
        {{"app-info", folder.path().string()},
         {1, "",
          "无法读取“" + folder.path().string() +
              "”的版本信息：Contents/Info.plist 缺少、无法读取或没有软件标识和版本。\n"}},
        {{"validate-catalog", KESTRYN_RESOURCES_DIR "/Catalog.json"}, {0, "ok\n", ""}},
        {{"validate-catalog", folder.write("c.json", foreign.dump()).string()},
         {1, "", "发布清单包含未授权的软件标识。\n"}},
    };
    for (const Row& row : rows) {
        ProgramResult result = run(row.words);
        EXPECT_EQ(result.exitCode, row.expected.exitCode) << row.words[0];
        EXPECT_EQ(result.out, row.expected.out) << row.words[0];
        EXPECT_EQ(result.err, row.expected.err) << row.words[0];
    }
    ProgramResult info =
        run({"app-info", binaryBundle("Sound.app", "local.soundlink", "1.2", "45").string()});
    EXPECT_EQ(json::parse(info.out),
              (json{{"bundleID", "local.soundlink"}, {"version", "1.2"}, {"build", "45"}}));
}

TEST_F(CoreVerbs, VerifyCatalogAcceptsAnEnvelopeSignedByIndependentTooling) {
    auto [envelope, key] = opensslSignedEnvelope();
    ProgramResult result = run({"verify-catalog", envelope.string(), "--key", key.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(json::parse(result.out),
              json::parse(std::ifstream(KESTRYN_RESOURCES_DIR "/Catalog.json")));

    json tampered = json::parse(std::ifstream(envelope));
    std::string payload = tampered["payload"];
    payload[10] = payload[10] == 'A' ? 'B' : 'A';
    tampered["payload"] = payload;
    ProgramResult refused = run(
        {"verify-catalog", folder.write("tampered.json", tampered.dump()).string(), "--key", key});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "发布清单签名验证失败，未使用该清单。\n");

    // A key file the user names is checked as that file, never as the missing shipped key.
    const std::filesystem::path missing = folder / "缺少 的.txt";
    const std::filesystem::path privateKey = folder / "key.pem";
    const std::filesystem::path empty = folder.write("empty.txt", "");
    for (const auto& [keyFile, sentence] :
         std::vector<std::pair<std::filesystem::path, std::string>>{
             {missing, "公钥文件“" + missing.string() + "”不存在。"},
             {folder.path(), "“" + folder.path().string() + "”不是发布公钥文件。"},
             {privateKey, "“" + privateKey.string() + "”不是发布公钥文件。"},
             {empty, "“" + empty.string() + "”不是发布公钥文件。"},
         }) {
        ProgramResult noKey = run({"verify-catalog", envelope.string(), "--key", keyFile.string()});
        EXPECT_EQ(noKey.exitCode, 1);
        EXPECT_EQ(noKey.err, sentence + "\n");
    }
}

// A resources folder whose catalog lists an update for the installed "audio", a product without
// a release and one that can be installed.
class StatusTable : public CoreVerbs {
  protected:
    std::filesystem::path resources = folder / "resources";

    void SetUp() override {
        // Three of the shipped products, in an order of their own.
        const json shipped = json::parse(std::ifstream(KESTRYN_RESOURCES_DIR "/Catalog.json"));
        json catalog = shipped;
        catalog["products"] = json::array();
        for (const char* id : {"audio", "film", "library"}) {
            for (const json& product : shipped["products"]) {
                if (product["id"] == id) {
                    catalog["products"].push_back(product);
                }
            }
        }
        const auto release = [](const char* version, const char* build) {
            return json{{"version", version},
                        {"build", build},
                        {"publishedAt", "2026-12-01"},
                        {"notes", json::array()}};
        };
        catalog["products"][0]["release"] = release("2.0", "1");
        catalog["products"][2]["release"] = release("1.0", "3");
        folder.write(resources / "Catalog.json", catalog.dump());
        binaryBundle("Sound.app", "local.soundlink", "1.2", "45");
    }
};

TEST_F(StatusTable, ShowsEachProductsInstalledVersionAndUpdateThenTheSearchedFolders) {
    const std::filesystem::path other = folder / "其他 应用";
    ProgramResult table =
        runProgram(kestryn,
                   {"status", "--applications", (folder / "Applications").string(),
                    "--applications", other.string()},
                   {{"KESTRYN_RESOURCES", resources.string()}});
    EXPECT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(table.out, "软件\t已安装版本\t可用更新\n"
                         "回响工坊\t1.2（45）\t可更新到 2.0（1）\n"
                         "澄光工坊\t未安装\t—\n"
                         "藏集工坊\t未安装\t可安装 1.0（3）\n"
                         "已查找的应用程序文件夹：" +
                             (folder / "Applications").string() + "、" + other.string() +
                             "（不存在）。\n"
                             "可用更新只取自随软件中心附带的发布清单；要从网上检查更新，请运行 "
                             "kestryn check。\n");
}

TEST_F(StatusTable, AsJSONFindsTheResourcesBesideTheProgramWhenNoFolderIsNamed) {
    // A copy of the program in an installed layout: bin/kestryn beside resources/.
    const std::filesystem::path program = folder / "bin/kestryn";
    std::filesystem::create_directories(program.parent_path());
    std::filesystem::copy_file(kestryn, program);
    ProgramResult table = runProgram(
        program, {"status", "--json", "--applications", (folder / "Applications").string()},
        {{"KESTRYN_RESOURCES", ""}});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    const json rows = json::parse(table.out);
    std::vector<std::string> ids;
    for (const json& row : rows) {
        ids.push_back(row["id"]);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"audio", "film", "library"}));
    EXPECT_EQ(rows[0]["installed"]["version"], "1.2");
    EXPECT_TRUE(rows[1]["installed"].is_null()) << rows[1];
    EXPECT_FALSE(rows[1]["update"]) << rows[1];
}

} // namespace
