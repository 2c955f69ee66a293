#include "app/WindowPrompts.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// The dialogs' side of the prompts, answered directly: one question at a time, in the order
// asked. What the real dialogs send back is proven through the window.
TEST(WindowPrompts, AnswersEveryQuestionOnceInOrderAndCancelsWhatIsLeft) {
    WindowPrompts prompts;
    std::vector<std::string> answers;
    prompts.ask({"安装 KESTRYN 回响工坊 2.0？", "", {"安装", "取消"}},
                [&](std::size_t button) { answers.push_back("ask " + std::to_string(button)); });
    prompts.chooseSaveLocation({"KESTRYN_软件版本.txt", "txt"}, [&](std::optional<fs::path> file) {
        answers.push_back("save " + (file ? file->string() : "-"));
    });
    prompts.choose({"选择安装包对应的软件", "a.zip", {"KESTRYN 澄光工坊"}, {"导入", "取消"}},
                   [&](std::optional<std::size_t> index) {
                       answers.push_back("choose " + (index ? std::to_string(*index) : "-"));
                   });
    EXPECT_EQ(prompts.kind(), "ask");
    prompts.answerButton(0);
    EXPECT_EQ(prompts.kind(), "save");
    prompts.answerFile(QUrl::fromLocalFile("/tmp/我的 清单"));
    EXPECT_EQ(prompts.kind(), "choose");
    prompts.cancelAll();
    prompts.answerChoice(0);
    EXPECT_EQ(prompts.kind(), "");
    EXPECT_EQ(answers, (std::vector<std::string>{"ask 0", "save /tmp/我的 清单.txt", "choose -"}));
}

} // namespace
