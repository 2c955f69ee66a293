#include "core/FileContents.h"

#include "core/ErrorText.h"
#include "core/FileMapping.h"
#include "tests/support/Failure.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace {

namespace fs = std::filesystem;

// The sentence the user sees for what `call` throws; "" when it does not fail.
template <typename Call> std::string failure(Call call) {
    const std::exception_ptr thrown = thrownBy(call);
    return thrown ? CenterCore::describeError(thrown) : "";
}

// Only a regular file (or a link to one) is read, at most up to one byte past the cap; anything
// else is refused by what it is, before it is opened, so a pipe or a device never blocks.
TEST(FileContents, ReadsOnlyRegularFilesAndRefusesEveryOtherKindByWhatItIs) {
    TemporaryDirectory folder;
    const fs::path file = folder.write("回响 工坊.txt", "0123456789");
    fs::create_symlink(file, folder / "链接");
    EXPECT_EQ(CenterCore::readFileContents(folder / "链接", 10), "0123456789");
    EXPECT_EQ(CenterCore::readFileContents(file, 4), "01234");

    const fs::path pipe = folder / "管道 文件";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const fs::path socket = folder / "套接字";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket.string().copy(address.sun_path, sizeof address.sun_path - 1);
    const FileDescriptor listening(::socket(AF_UNIX, SOCK_STREAM, 0));
    ASSERT_EQ(::bind(listening.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const fs::path missing = folder / "缺少 的文件";
    for (const auto& [path, sentence] : std::vector<std::pair<fs::path, std::string>>{
             {missing, "无法打开“" + missing.string() + "”：文件或文件夹不存在。"},
             {folder.path(),
              "无法读取“" + folder.path().string() + "”：这是一个文件夹，不是文件。"},
             {pipe, "“" + pipe.string() + "”是命名管道，不是普通文件。"},
             {socket, "“" + socket.string() + "”是套接字，不是普通文件。"},
             {"/dev/zero", "“/dev/zero”是设备，不是普通文件。"}}) {
        EXPECT_EQ(failure([&] { static_cast<void>(CenterCore::openRegularFile(path)); }), sentence);
    }
}

// A copy of the user's file goes only to a new name; a missing original or an existing copy
// changes nothing, and the failure names the user's file alone.
TEST(FileContents, CopiesTheUsersRegularFileOnlyToANewName) {
    TemporaryDirectory folder;
    const fs::path file = folder.write("回响工坊 2.0.zip", "package");
    const fs::path copy = folder.write("已有 的副本", "kept");
    EXPECT_EQ(failure([&] { CenterCore::copyRegularFile(file, copy); }),
              "无法复制“" + file.string() + "”：同名的文件或文件夹已存在。");
    EXPECT_EQ(fileContents(copy), "kept");
    EXPECT_EQ(failure([&] { CenterCore::copyRegularFile(folder / "缺少", folder / "新"); }),
              "无法打开“" + (folder / "缺少").string() + "”：文件或文件夹不存在。");
    EXPECT_FALSE(fs::exists(folder / "新"));
    CenterCore::copyRegularFile(file, folder / "新");
    EXPECT_EQ(fileContents(folder / "新"), "package");
}

// Releasing pages is only advice to the system: the bytes read the same afterwards, and memory
// outside the mapping, where the same advice would zero the pages, is never touched.
TEST(FileMapping, AReleasedPartReadsTheSameAndMemoryOutsideTheMappingIsLeftAlone) {
    TemporaryDirectory folder;
    std::string pattern(3 * 4096 + 100, '\0');
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<char>(i % 251);
    }
    const CenterCore::FileMapping mapping(folder.write("安装包 1.zip", pattern));
    const std::span<const unsigned char> bytes = mapping.bytes();
    const std::vector<unsigned char> heap(3 * 4096, 7);
    mapping.release(bytes.subspan(100, 5000));
    mapping.release(bytes);
    mapping.release(heap);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), pattern);
    EXPECT_EQ(heap, std::vector<unsigned char>(3 * 4096, 7));
}

} // namespace
