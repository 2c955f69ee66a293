#include "app/CenterScreenshots.h"
#include "tests/model/ModelFixture.h"

#include <QImage>
#include <chrono>
#include <csignal>
#include <thread>

namespace {

namespace fs = std::filesystem;

// The program under the fixture's resources, with a home and data folders of its own.
class ScreenshotsTest : public ModelFixture {
  protected:
    std::map<std::string, std::string> environment = {
        {"KESTRYN_RESOURCES", resources.string()},
        {"HOME", (temp / "home").string()},
        {"XDG_DATA_HOME", (temp / "data").string()},
        {"XDG_CONFIG_HOME", (temp / "config").string()},
        {"QT_QPA_PLATFORM", "offscreen"}};
};

TEST_F(ScreenshotsTest, TheProgramRendersEveryPageAndTheFirstDetailAfterItsFirstCheck) {
    bundle(shippedProduct("audio"), "1.0", homeApplications);
    writeInfo(publishCatalog({{"audio", "2.0"}}));
    fs::copy_file(KESTRYN_RESOURCES_DIR "/使用与更新说明.html", resources / "使用与更新说明.html");
    const fs::path folder = temp / "截图 文件夹";
    ProgramResult result = runProgram(KESTRYN_BIN_DIR "/kestryn-center",
                                      {"--screenshots", folder.string()}, environment);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (const QString& name : CenterScreenshots::names()) {
        const fs::path file = folder / (name.toStdString() + ".png");
        QImage image(QString::fromStdString(file.string()));
        ASSERT_FALSE(image.isNull()) << file;
        // The window stays dark, under a sheet as well.
        EXPECT_LT(image.pixelColor(image.width() - 2, image.height() / 2).lightness(), 30) << file;
        EXPECT_GT(fs::file_size(file), 10'000u) << file;
    }
}

TEST_F(ScreenshotsTest, ASecondStartEndsAtOnceAndWithoutADisplayOneChineseSentenceIsSaid) {
    const fs::path runtime = temp / "运行 目录";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    environment["XDG_RUNTIME_DIR"] = runtime.string();
    RunningProgram first(KESTRYN_BIN_DIR "/kestryn-center", {}, environment);
    // The first start listens once its window is up; the bound guards against a hang.
    for (int round = 0; fs::is_empty(runtime) && round < 3000; ++round) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_FALSE(fs::is_empty(runtime));
    ProgramResult second = runProgram(KESTRYN_BIN_DIR "/kestryn-center", {}, environment);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.err, "");
    first.signal(SIGTERM);
    // Nothing of the web engine's own notices reaches the user.
    const std::string said = first.wait().err;
    EXPECT_EQ(said.find("QWebEngine"), std::string::npos) << said;
    EXPECT_EQ(said.find("qt.webenginecontext"), std::string::npos) << said;

    const std::string noDisplay = "kestryn-center：没有可用的图形显示，无法打开窗口。\n";
    for (const char* display : {"", ":65531"}) {
        ProgramResult alone = runProgram(KESTRYN_BIN_DIR "/kestryn-center", {},
                                         {{"KESTRYN_RESOURCES", resources.string()},
                                          {"QT_QPA_PLATFORM", ""},
                                          {"WAYLAND_DISPLAY", ""},
                                          {"DISPLAY", display}});
        EXPECT_EQ(alone.exitCode, 1) << display;
        EXPECT_EQ(alone.err, noDisplay) << display;
    }
}

TEST_F(ScreenshotsTest, HelpIsChineseAndAnUnknownOptionIsRefused) {
    ProgramResult help = runProgram(KESTRYN_BIN_DIR "/kestryn-center", {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("用法：kestryn-center"), std::string::npos);
    ProgramResult wrong = runProgram(KESTRYN_BIN_DIR "/kestryn-center", {"--frobnicate"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("无法识别的参数"), std::string::npos);
}

} // namespace
