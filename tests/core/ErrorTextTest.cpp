#include "core/ErrorText.h"

#include "core/CancellationError.h"
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/FileOperationError.h"
#include "core/FileSystem.h"
#include "core/LocalizedError.h"
#include "tests/support/Failure.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <new>
#include <system_error>

namespace {

namespace fs = std::filesystem;
using CenterCore::FileOperation;
using CenterCore::FileOperationError;
using Rows = std::vector<std::pair<std::exception_ptr, std::string>>;

void expectSentences(const Rows& rows) {
    for (const auto& [error, sentence] : rows) {
        EXPECT_EQ(CenterCore::describeError(error), sentence);
    }
}

template <typename Error> std::exception_ptr thrown(const Error& error) {
    return std::make_exception_ptr(error);
}

std::error_code code(int number) {
    return {number, std::generic_category()};
}

std::string quoted(const fs::path& path) {
    return "“" + path.string() + "”";
}

TEST(ErrorText, AFailureOutsideTheFileSystemKeepsItsSentenceOrGetsOneOfItsOwn) {
    expectSentences({
        {thrown(CenterError::running("回响工坊")), "请先退出“回响工坊”，再安装更新。"},
        {thrown(LocalizedError("无法连接到服务器 127.0.0.1 的端口 1。")),
         "无法连接到服务器 127.0.0.1 的端口 1。"},
        {thrown(CancellationError()), "操作已取消。"},
        {thrown(std::bad_alloc()), "内存不足，操作未能完成。"},
        {thrown(std::system_error(ECONNREFUSED, std::generic_category(), "connect")),
         "操作失败：连接被拒绝。"},
        {thrown(std::system_error(EACCES, std::system_category(), "bind")),
         "操作失败：没有访问权限。"},
        {thrown(std::runtime_error("Operation failed")), "发生了意外错误，操作未能完成。"},
    });
}

// What the program was doing, the paths as they are and the system's reason in the user's words;
// opening and reading show in FileContentsTest.
TEST(ErrorText, AFileFailureOfTheProgramSaysWhatItWasDoing) {
    const fs::path file = "/资料/KESTRYN 回响工坊.app/Contents/Info.plist";
    const fs::path copy = "/资料/备份 2/Info.plist";
    const std::string at = quoted(file) + "：";
    const auto failure = [&](FileOperation operation, int number) {
        return thrown(FileOperationError(operation, file, code(number)));
    };
    expectSentences({
        {failure(FileOperation::Write, ENOSPC), "无法写入" + at + "磁盘空间不足。"},
        {failure(FileOperation::Flush, EDOM),
         "无法访问" + at + "系统错误（错误码 " + std::to_string(EDOM) + "）。"},
        {thrown(FileOperationError(FileOperation::Move, file, copy, code(EXDEV))),
         "无法将" + quoted(file) + "移动到" + quoted(copy) + "：不能在不同的磁盘之间直接移动。"},
        {thrown(FileOperationError(FileOperation::Copy, file, copy, code(EEXIST))),
         "无法将" + quoted(file) + "复制到" + quoted(copy) + "：同名的文件或文件夹已存在。"},
        {thrown(FileOperationError(FileOperation::Read, code(EIO))),
         "文件操作失败：磁盘读写出错。"},
    });
}

// The program's calls of the standard library say what they were doing, at the paths the library
// names; the library's own failure says only that it could not access them.
TEST(ErrorText, AFailureOfTheStandardLibrarySaysWhatTheProgramWasDoingOrElseAccess) {
    TemporaryDirectory folder;
    const fs::path full = folder.write("满的 文件夹/a", "a").parent_path();
    const fs::path file = folder.write("文件", "x");
    const std::string notAFolder = "：路径中的某一级不是文件夹。";
    expectSentences({
        {thrownBy([&] { CenterCore::createDirectories(file / "子"); }),
         "无法创建" + quoted(file / "子") + notAFolder},
        {thrownBy([&] { CenterCore::rename(full, file); }),
         "无法将" + quoted(full) + "移动到" + quoted(file) + notAFolder},
        {thrownBy([&] { fs::create_directories(file / "子"); }),
         "无法访问" + quoted(file / "子") + notAFolder},
        {thrown(fs::filesystem_error("cannot copy file", file, "b", code(EEXIST))),
         "无法访问" + quoted(file) + "和“b”：同名的文件或文件夹已存在。"},
    });
}

TEST(ErrorText, AJSONErrorSaysWhatIsWrongWithoutTheDecodersText) {
    const auto decoding = [](const char* document) {
        return thrownBy([=] { static_cast<void>(CenterCore::decodeCatalog(document)); });
    };
    expectSentences({
        {decoding("{"), "内容不是有效的 JSON（第 2 个字节处有误）。"},
        {decoding("{}"), "JSON 内容缺少“schemaVersion”项。"},
        {decoding(R"({"schemaVersion": "1"})"), "JSON 内容中“schemaVersion”项的值不符合要求。"},
        {thrownBy([] { static_cast<void>(nlohmann::json(1).get<std::string>()); }),
         "JSON 内容的结构不符合要求。"},
    });
}

} // namespace
