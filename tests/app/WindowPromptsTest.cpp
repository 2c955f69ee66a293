#include "app/WindowPrompts.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// The dialogs' side of the prompts, answered directly.
TEST(WindowPrompts, AnswersEveryQuestionOnceInOrderAndCancelsWhatIsLeft) {
    WindowPrompts prompts;
    std::vector<std::string> answers;
    prompts.ask({"安装 KESTRYN 回响工坊 2.0？", "", {"安装", "取消"}},
                [&](std::size_t button) { answers.push_back("ask " + std::to_string(button)); });
    prompts.chooseFile({"导入 KESTRYN 安装包", "", {"zip", "dmg", "pkg"}},
                       [&](std::optional<fs::path> file) {
                           answers.push_back("open " + (file ? file->string() : "-"));
                       });
    prompts.chooseSaveLocation({"KESTRYN_软件版本.txt", "txt"}, [&](std::optional<fs::path> file) {
        answers.push_back("save " + (file ? file->string() : "-"));
    });
    prompts.choose({"选择安装包对应的软件", "a.zip", {"KESTRYN 澄光工坊"}, {"导入", "取消"}},
                   [&](std::optional<std::size_t> index) {
                       answers.push_back("choose " + (index ? std::to_string(*index) : "-"));
                   });
    EXPECT_EQ(prompts.kind(), "ask");
    EXPECT_EQ(prompts.buttons(), QStringList({"安装", "取消"}));
    prompts.answerButton(0);
    EXPECT_EQ(prompts.kind(), "open");
    EXPECT_EQ(prompts.nameFilters(), QStringList{"KESTRYN 安装包 (*.zip *.dmg *.pkg)"});
    // Only the kinds the dialog offers count; another file is no answer.
    prompts.answerFile(QUrl::fromLocalFile("/tmp/下载/说明.txt"));
    EXPECT_EQ(prompts.kind(), "save");
    EXPECT_EQ(prompts.proposedName(), "KESTRYN_软件版本.txt");
    prompts.answerFile(QUrl::fromLocalFile("/tmp/我的 清单"));
    prompts.cancelAll();
    prompts.answerChoice(0);
    EXPECT_EQ(prompts.kind(), "");
    EXPECT_EQ(answers,
              (std::vector<std::string>{"ask 0", "open -", "save /tmp/我的 清单.txt", "choose -"}));
}

} // namespace
