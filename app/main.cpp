#include "app/CenterMessages.h"
#include "app/CenterScreenshots.h"
#include "app/CenterSingleWindow.h"
#include "app/KestrynCenterApp.h"
#include "app/WindowPrompts.h"
#include "core/Resources.h"
#include "model/CenterLocations.h"
#include "model/CenterModel.h"
#include "platform/LinuxWorkspace.h"
#include "portal/web/CenterPortal.h"

#include <QGuiApplication>
#include <QQmlExtensionPlugin>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

Q_IMPORT_QML_PLUGIN(Kestryn_CenterPlugin)
Q_IMPORT_QML_PLUGIN(Kestryn_PortalPlugin)

namespace {

constexpr int usageExitCode = 2;

const char* const usage = "用法：kestryn-center [--screenshots 文件夹]\n"
                          "打开 KESTRYN 软件中心的窗口。\n"
                          "  --screenshots 文件夹  启动并完成首次检查后，把各页面和第一款软件"
                          "详情的截图（PNG）保存到该文件夹，然后退出。\n"
                          "  -h, --help            显示本说明。\n"
                          "  --version             显示版本。\n";

const char* const noDisplay = "kestryn-center：没有可用的图形显示，无法打开窗口。\n";

// Whether the window has a display to open on: a platform named for Qt, or an X11 or Wayland
// session.
bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

struct Options {
    std::optional<QString> screenshots;
};

// The options, or the exit status when the program ends here.
std::optional<int> parse(int argc, char** argv, Options& options) {
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        if (argument == "-h" || argument == "--help") {
            std::cout << usage;
            return 0;
        }
        if (argument == "--version") {
            std::cout << "kestryn-center " << KESTRYN_VERSION << '\n';
            return 0;
        }
        if (argument == "--screenshots" && index + 1 < argc) {
            options.screenshots = QString::fromLocal8Bit(argv[++index]);
            continue;
        }
        std::cerr << (argument == "--screenshots"
                          ? "kestryn-center：--screenshots 后面需要一个文件夹。\n"
                          : "kestryn-center：无法识别的参数“" + argument + "”。\n")
                  << usage;
        return usageExitCode;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (std::optional<int> exitCode = parse(argc, argv, options)) {
        return *exitCode;
    }
    if (!hasDisplay()) {
        std::cerr << noDisplay;
        return 1;
    }
    CenterPortal::prepareApplication();
    CenterMessages::install(noDisplay);
    QGuiApplication application(argc, argv);
    CenterMessages::platformStarted();
    QGuiApplication::setApplicationName("KESTRYN 软件中心");
    QGuiApplication::setDesktopFileName("kestryn-center");

    // A second start shows the first window; a screenshot run is a window of its own.
    CenterSingleWindow single(CenterSingleWindow::socketName(CenterLocations::supportDirectory()));
    if (!options.screenshots && !single.claim()) {
        return 0;
    }

    CenterPlatform::LinuxWorkspace workspace;
    WindowPrompts prompts;
    CenterActivation activation;
    CenterModelSetup setup = CenterModelSetup::standard(workspace, prompts);
    setup.activation = &activation;
    CenterModel model(std::move(setup));
    KestrynCenterApp app(model, workspace, prompts, &activation, CenterCore::resourcesDirectory());
    if (app.window() == nullptr) {
        std::cerr << "kestryn-center：无法载入窗口。\n";
        return 1;
    }
    if (options.screenshots) {
        const QString failure = CenterScreenshots::take(model, *app.window(), *options.screenshots);
        if (!failure.isEmpty()) {
            std::cerr << failure.toStdString() << '\n';
            return 1;
        }
        return 0;
    }
    single.serve(*app.window());
    return QGuiApplication::exec();
}
