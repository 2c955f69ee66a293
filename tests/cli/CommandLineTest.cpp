#include "tests/cli/CenterHome.h"

#include <sys/stat.h>
#include <tuple>

namespace {

namespace fs = std::filesystem;

// The conventions both programs share: help, usage, exit codes and sentences.
class CommandLine : public ::testing::Test {
  protected:
    TemporaryDirectory folder;
    const std::string catalog = KESTRYN_RESOURCES_DIR "/Catalog.json";

    static ProgramResult run(const fs::path& program, const std::vector<std::string>& arguments) {
        return runProgram(program, arguments, {{"KESTRYN_RESOURCES", KESTRYN_RESOURCES_DIR}});
    }

    // A file of `bytes` bytes that takes no room on disk.
    fs::path sparse(const char* name, std::uintmax_t bytes) const {
        fs::path file = folder.write(name, "");
        fs::resize_file(file, bytes);
        return file;
    }
};

// A verb's help is its usage, one sentence of what it does and, for a verb that names a
// product, the registered product ids; every verb's help goes through the same code as these.
// Each program also says its version.
TEST_F(CommandLine, HelpAndVersionOnEveryProgramAndVerbPrintAndSucceed) {
    const std::string products = "可用的产品：audio、effects、film、library、subtitle、video。\n";
    const std::tuple<fs::path, std::vector<std::string>, std::string, bool> rows[] = {
        {kestryn, {"--help"}, "用法：\n  kestryn ", false},
        {publish, {"--help"}, "用法：\n  kestryn-publish ", false},
        {KESTRYN_BIN_DIR "/kestryn-center", {"--help"}, "用法：kestryn-center ", false},
        {kestryn, {"--version"}, "kestryn 1.0.0\n", false},
        {KESTRYN_BIN_DIR "/kestryn-center", {"--version"}, "kestryn-center 1.0.0\n", false},
        {publish, {"sign", "-h"}, "用法：kestryn-publish sign ", false},
        // Never a file or a value, wherever it stands.
        {kestryn, {"open", "x", "--help"}, "用法：kestryn open ", true},
    };
    for (const auto& [program, words, usage, namesProduct] : rows) {
        ProgramResult result = run(program, words);
        EXPECT_EQ(result.exitCode, 0) << usage;
        EXPECT_TRUE(result.out.starts_with(usage)) << result.out;
        EXPECT_TRUE(result.err.empty()) << result.err;
        if (words.size() > 1) {
            // The usage line, then the sentence.
            const std::size_t sentence = result.out.find('\n') + 1;
            const std::size_t end = result.out.find("。\n", sentence);
            EXPECT_TRUE(end != std::string::npos && end > sentence) << result.out;
            EXPECT_EQ(result.out.ends_with(products), namesProduct) << result.out;
        }
    }
}

// A mistake in the words exits 2 with its reason in Chinese, then the usage (an unknown verb is
// named before it); a failure exits 1 with one Chinese sentence, for what users met: files of
// the wrong kind or size, malformed addresses, encrypted keys; an answer exits 0.
TEST_F(CommandLine, EachAnswerMistakeAndFailureHasItsExitCodeAndOneChineseText) {
    const std::string products = "可用的产品：audio、effects、film、library、subtitle、video。\n";
    const std::string unanswerable = "没有终端可以回答确认问题；确定要这样做时，请加上 --yes。\n";
    const fs::path abc = folder.write("abc", "abc");
    const fs::path missing = folder / "缺少 的文件";
    const fs::path notZIP = folder.write("KESTRYN 回响工坊.dmg", std::string(4096, 'd'));
    const fs::path pipe = folder / "管道 文件";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const fs::path hugeCatalog = sparse("catalog.json", 70 * 1024 * 1024);
    const fs::path hugeEnvelope = sparse("envelope.json", 9 * 1024 * 1024);
    const fs::path encryptedKey = folder / "encrypted.pem";
    ProgramResult keygen =
        runProgram("/usr/bin/openssl", {"genpkey", "-algorithm", "ed25519", "-aes-256-cbc", "-pass",
                                        "pass:secret", "-out", encryptedKey.string()});
    ASSERT_EQ(keygen.exitCode, 0) << keygen.err;

    const std::string dir = folder.path().string();
    struct Row {
        std::vector<std::string> words;
        int exitCode;
        std::string text;
        fs::path program = kestryn;
    };
    const std::vector<Row> rows = {
        {{"compare", "1.10", "1.9"}, 0, ">"},
        {{"statsu"}, 2, "“statsu”不是 kestryn 的命令。\n用法：\n"},
        {{}, 2, "kestryn：缺少命令。\n用法：\n"},
        {{"compare", "1"},
         2,
         "kestryn compare：需要 2 个参数，实际给了 1 个。\n用法：kestryn compare "},
        {{"digest", "--bogus", "x"},
         2,
         "kestryn digest：未知选项 --bogus。\n用法：kestryn digest "},
        {{"verify-catalog", "envelope.json"},
         2,
         "kestryn verify-catalog：缺少选项 --key。\n用法：kestryn verify-catalog "},
        {{"download", "--url", "https://127.0.0.1/a.zip", "--sha256", std::string(64, 'a'),
          "--size", "-5", "--to", dir},
         2,
         "kestryn download：--size 必须是以字节计的正整数。\n用法：kestryn download "},
        // An unknown product is named with the products there are, before anything starts.
        {{"update", "回响工坊"}, 2, "kestryn update：“回响工坊”不是软件中心的产品。" + products},
        {{"update", "audio", "--all"}, 2, "kestryn update：--all 不能与产品一同给出。\n"},
        {{"prune", "--keep", "0"}, 2, "kestryn prune：--keep 必须是不小于 1 的整数。\n"},
        // A confirmation nobody could answer: standard input is no terminal.
        {{"restore", "audio", "KESTRYN 回响工坊.app"}, 2, "kestryn restore：" + unanswerable},
        {{"appcast", "c.deb", "--url", "https://downloads.example.com/c.deb", "--version", "3",
          "--short-version", "最新", "--key", "private.key"},
         2,
         "kestryn-publish appcast：--short-version 必须是以数字开头的版本号，例如 1.1.0。\n",
         publish},
        {{"artifact", notZIP.string(), "--url", "https://downloads.example.com/a.zip", "--format",
          "tar"},
         2,
         "kestryn-publish artifact：--format 只能是 zip、dmg 或 pkg。\n",
         publish},
        // Which files are read at all is the core's rule; one of them shows how it reaches the
        // user.
        {{"digest", pipe.string()}, 1, "“" + pipe.string() + "”是命名管道，不是普通文件。"},
        {{"inspect", notZIP.string()}, 1, "该文件不是 ZIP 安装包。"},
        {{"install", notZIP.string(), "--product", "audio", "--applications", dir},
         1,
         "该文件不是 ZIP 安装包。"},
        {{"app-info", dir},
         1,
         "无法读取“" + dir +
             "”的版本信息：Contents/Info.plist 缺少、无法读取或没有软件标识和版本。"},
        {{"validate-catalog", hugeCatalog.string()}, 1, "发布清单文件过大（超过 64 MiB）。"},
        // A key file the user names is checked as that file, never as the missing shipped key.
        {{"verify-catalog", abc.string(), "--key", missing.string()},
         1,
         "公钥文件“" + missing.string() + "”不存在。"},
        {{"verify-catalog", hugeEnvelope.string(), "--key", missing.string()},
         1,
         "签名后的发布清单超过 8 MiB，软件中心不会接受。"},
        {{"sign", catalog, "--key", encryptedKey.string()},
         1,
         "签名私钥已加密，请改用未加密的私钥：" + encryptedKey.string(),
         publish},
    };
    for (const Row& row : rows) {
        ProgramResult result = run(row.program, row.words);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.text;
        const std::string& shown = row.exitCode == 0 ? result.out : result.err;
        if (row.exitCode == 2) {
            EXPECT_TRUE(shown.starts_with(row.text)) << shown;
        } else {
            EXPECT_EQ(shown, row.text + "\n");
        }
        EXPECT_TRUE((row.exitCode == 0 ? result.err : result.out).empty()) << row.text;
    }
}

} // namespace
