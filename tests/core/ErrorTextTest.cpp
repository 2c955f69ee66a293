#include "core/ErrorText.h"

#include "core/CancellationError.h"
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/LocalizedError.h"
#include "tests/support/TemporaryDirectory.h"

#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// The sentence for whatever `failing` throws.
std::string sentenceOf(const std::function<void()>& failing) {
    try {
        failing();
    } catch (...) {
        return CenterCore::describeError(std::current_exception());
    }
    return "(no failure)";
}

fs::filesystem_error fileError(const char* what, int number, const fs::path& path) {
    return {what, path, std::error_code(number, std::generic_category())};
}

TEST(ErrorText, SentencesOfTheCenterAndOfLayersAbovePassUnchanged) {
    EXPECT_EQ(sentenceOf([] { throw CenterError::invalid("发布清单格式不受支持。"); }),
              "发布清单格式不受支持。");
    EXPECT_EQ(sentenceOf([] { throw CenterError::running("回响工坊"); }),
              "请先退出“回响工坊”，再安装更新。");
    EXPECT_EQ(sentenceOf([] { throw LocalizedError("无法连接到服务器 127.0.0.1 的端口 1。"); }),
              "无法连接到服务器 127.0.0.1 的端口 1。");
    EXPECT_EQ(sentenceOf([] { throw CancellationError(); }), "操作已取消。");
}

// A reason of the system in the user's words, the path kept as it is; an unnamed one by its code.
TEST(ErrorText, AFileSystemErrorNamesTheOperationThePathAndTheReason) {
    const fs::path file = "/资料/KESTRYN 回响工坊.app/Contents/Info.plist";
    struct Row {
        int number;
        std::string reason;
    };
    for (const Row& row : std::vector<Row>{
             {ENOENT, "文件或文件夹不存在"},
             {EINVAL, "不能对它执行这项操作"},
             {EBUSY, "文件或设备正被占用"},
             {EMFILE, "同时打开的文件过多"},
             {EDOM, "系统错误（错误码 " + std::to_string(EDOM) + "）"},
         }) {
        EXPECT_EQ(sentenceOf([&] { throw fileError("cannot open file", row.number, file); }),
                  "无法打开“" + file.string() + "”：" + row.reason + "。")
            << row.number;
    }
}

TEST(ErrorText, AFileSystemErrorOfTheStandardLibrarySaysWhatFailed) {
    TemporaryDirectory folder;
    const fs::path full = folder.write("满的 文件夹/a", "a").parent_path();
    const fs::path file = folder.write("文件", "x");
    struct Row {
        std::function<void()> failing;
        std::string sentence;
    };
    const std::vector<Row> rows = {
        {[&] { static_cast<void>(fs::file_size(folder / "缺少")); },
         "无法访问“" + (folder / "缺少").string() + "”：文件或文件夹不存在。"},
        {[&] { fs::create_directories(file / "子"); },
         "无法创建“" + (file / "子").string() + "”：路径中的某一级不是文件夹。"},
        {[&] { fs::remove(full); }, "无法删除“" + full.string() + "”：文件夹不是空的。"},
        {[&] { fs::rename(full, file); },
         "无法将“" + full.string() + "”移动到“" + file.string() + "”：路径中的某一级不是文件夹。"},
        {[&] { throw fileError("cannot move download into place", EXDEV, "a"); },
         "无法移动“a”：不能在不同的磁盘之间直接移动。"},
        {[] {
             throw fs::filesystem_error("cannot write file",
                                        std::make_error_code(std::errc::no_space_on_device));
         },
         "文件操作失败：磁盘空间不足。"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(sentenceOf(row.failing), row.sentence);
    }
}

TEST(ErrorText, AJSONErrorSaysWhatIsWrongWithoutTheDecodersText) {
    struct Row {
        const char* document;
        const char* sentence;
    };
    for (const Row& row : std::vector<Row>{
             {"{", "内容不是有效的 JSON（第 2 个字节处有误）。"},
             {"", "内容不是有效的 JSON（第 1 个字节处有误）。"},
             {"{}", "JSON 内容缺少“schemaVersion”项。"},
             {R"({"schemaVersion": "1"})", "JSON 内容中“schemaVersion”项的值不符合要求。"},
             {"[]", "JSON 内容中“schemaVersion”项的值不符合要求。"},
         }) {
        EXPECT_EQ(sentenceOf([&] { static_cast<void>(CenterCore::decodeCatalog(row.document)); }),
                  row.sentence)
            << row.document;
    }
    EXPECT_EQ(sentenceOf([] { static_cast<void>(nlohmann::json(1).get<std::string>()); }),
              "JSON 内容的结构不符合要求。");
}

TEST(ErrorText, EveryOtherFailureGetsAChineseSentenceOfItsOwn) {
    EXPECT_EQ(sentenceOf([] { throw std::bad_alloc(); }), "内存不足，操作未能完成。");
    EXPECT_EQ(sentenceOf([] {
                  throw std::system_error(ECONNREFUSED, std::generic_category(), "connect");
              }),
              "操作失败：连接被拒绝。");
    EXPECT_EQ(sentenceOf([] { throw std::system_error(EACCES, std::system_category(), "bind"); }),
              "操作失败：没有访问权限。");
    EXPECT_EQ(sentenceOf([] { throw std::runtime_error("Operation failed"); }),
              "发生了意外错误，操作未能完成。");
    EXPECT_EQ(sentenceOf([] { throw 42; }), "发生了意外错误，操作未能完成。");
}

} // namespace
