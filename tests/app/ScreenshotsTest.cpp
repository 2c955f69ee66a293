#include "app/CenterScreenshots.h"
#include "tests/model/ModelFixture.h"

#include <QImage>

namespace {

namespace fs = std::filesystem;

using ScreenshotsTest = ModelFixture;

// The program under the fixture's resources, with a home and data folders of its own.
TEST_F(ScreenshotsTest, TheProgramRendersEveryPageAndTheFirstDetailAfterItsFirstCheck) {
    bundle(shippedProduct("audio"), "1.0", homeApplications);
    writeInfo(publishCatalog({{"audio", "2.0"}}));
    fs::copy_file(KESTRYN_RESOURCES_DIR "/使用与更新说明.html", resources / "使用与更新说明.html");
    const fs::path folder = temp / "截图 文件夹";
    ProgramResult result =
        runProgram(KESTRYN_BIN_DIR "/kestryn-center", {"--screenshots", folder.string()},
                   {{"KESTRYN_RESOURCES", resources.string()},
                    {"HOME", (temp / "home").string()},
                    {"XDG_DATA_HOME", (temp / "data").string()},
                    {"XDG_CONFIG_HOME", (temp / "config").string()},
                    {"QT_QPA_PLATFORM", "offscreen"}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // Nothing of the web engine's own notices reaches the user.
    EXPECT_EQ(result.err.find("QWebEngine"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("qt.webenginecontext"), std::string::npos) << result.err;
    for (const QString& name : CenterScreenshots::names()) {
        const fs::path file = folder / (name.toStdString() + ".png");
        QImage image(QString::fromStdString(file.string()));
        ASSERT_FALSE(image.isNull()) << file;
        // The window stays dark, under a sheet as well.
        EXPECT_LT(image.pixelColor(image.width() - 2, image.height() / 2).lightness(), 30) << file;
        EXPECT_GT(fs::file_size(file), 10'000u) << file;
    }
}

// What it says when it opens no window: a refused option, no display.
TEST_F(ScreenshotsTest, WithoutAWindowItSpeaksChineseAndEndsWithItsExitCode) {
    const fs::path program = KESTRYN_BIN_DIR "/kestryn-center";
    ProgramResult wrong = runProgram(program, {"--frobnicate"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("无法识别的参数"), std::string::npos);
    for (const char* display : {"", ":65531"}) {
        ProgramResult alone = runProgram(program, {},
                                         {{"KESTRYN_RESOURCES", resources.string()},
                                          {"QT_QPA_PLATFORM", ""},
                                          {"WAYLAND_DISPLAY", ""},
                                          {"DISPLAY", display}});
        EXPECT_EQ(alone.exitCode, 1) << display;
        EXPECT_EQ(alone.err, "kestryn-center：没有可用的图形显示，无法打开窗口。\n") << display;
    }
}

} // namespace
