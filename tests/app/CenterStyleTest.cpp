#include "app/WindowPrompts.h"

#include <QColor>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <gtest/gtest.h>
#include <memory>

namespace {

namespace fs = std::filesystem;

// One view of Kestryn.Center made from QML text, for its looks alone.
class CenterStyleTest : public ::testing::Test {
  protected:
    QQmlEngine engine;

    std::unique_ptr<QQuickItem> make(const QString& body) {
        QQmlComponent component(&engine);
        component.setData(("import QtQuick\nimport Kestryn.Center\n" + body).toUtf8(), {});
        std::unique_ptr<QObject> object(component.create());
        EXPECT_TRUE(object) << component.errorString().toStdString();
        return std::unique_ptr<QQuickItem>(qobject_cast<QQuickItem*>(object.release()));
    }

    // The colour of the button's label and its opacity, and the fill behind it.
    static QColor labelColor(QQuickItem& button) {
        auto* content = button.property("contentItem").value<QQuickItem*>();
        QQuickItem* label = content->childItems().back();
        return label->property("color").value<QColor>();
    }
    static qreal labelOpacity(QQuickItem& button) {
        auto* content = button.property("contentItem").value<QQuickItem*>();
        return content->childItems().back()->opacity() * content->opacity();
    }
    static QColor fill(QQuickItem& button) {
        return button.property("background")
            .value<QQuickItem*>()
            ->property("color")
            .value<QColor>();
    }
};

TEST_F(CenterStyleTest, ButtonsChangeColourWhenDisabledAndOpacityOrColourWhenPressed) {
    const struct {
        const char* type;
        bool enabled;
        bool pressed;
        const char* text;
        qreal textOpacity;
        const char* fill;
        qreal opacity;
    } rows[] = {
        {"CenterPrimaryButton", true, false, "#0C0C0F", 1.0, "#EEEAF5", 1.0},
        {"CenterPrimaryButton", false, false, "#A1A0A9", 1.0, "#222027", 1.0},
        {"CenterPrimaryButton", true, true, "#0C0C0F", 1.0, "#EEEAF5", 0.78},
        {"CenterSecondaryButton", true, false, "#C7B3ED", 1.0, "#222027", 1.0},
        {"CenterSecondaryButton", false, false, "#C7B3ED", 0.45, "#222027", 1.0},
        {"CenterSecondaryButton", true, true, "#C7B3ED", 1.0, "#222027", 0.72},
        {"CenterQuietButton", true, false, "#A1A0A9", 1.0, "", 1.0},
        {"CenterQuietButton", true, true, "#EEEEF1", 1.0, "", 1.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.type) + (row.enabled ? "" : " disabled") +
                     (row.pressed ? " pressed" : ""));
        std::unique_ptr<QQuickItem> button = make(
            QString("%1 { text: \"保存\"; enabled: %2; down: %3 }")
                .arg(row.type, row.enabled ? "true" : "false", row.pressed ? "true" : "false"));
        ASSERT_TRUE(button);
        EXPECT_EQ(labelColor(*button), QColor(row.text));
        EXPECT_DOUBLE_EQ(labelOpacity(*button), row.textOpacity);
        if (*row.fill != '\0') {
            EXPECT_EQ(fill(*button), QColor(row.fill));
        }
        EXPECT_DOUBLE_EQ(button->opacity(), row.opacity);
    }
}

TEST_F(CenterStyleTest, AProductWithoutPictureShowsItsSymbolInsetByAFifth) {
    std::unique_ptr<QQuickItem> icon =
        make("CenterProductIcon { size: 100; fallbackSymbol: \"sparkles\" }");
    ASSERT_TRUE(icon);
    auto* symbol = icon->findChild<QQuickItem*>("fallbackSymbol");
    ASSERT_NE(symbol, nullptr);
    EXPECT_TRUE(symbol->isVisible());
    EXPECT_EQ(symbol->position(), QPointF(20, 20));
    EXPECT_EQ(symbol->size(), QSizeF(60, 60));
    EXPECT_EQ(symbol->property("text").toString(), QString(QChar(0xF068)));
    EXPECT_EQ(symbol->property("color").value<QColor>(), QColor("#C7B3ED"));
}

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
