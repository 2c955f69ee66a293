#include "portal/web/CenterPortal.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

// Tests of the window: QML views and embedded web pages need a GUI application, drawn as the
// program draws it, which is chosen before it exists. They run headless unless QT_QPA_PLATFORM
// names a display, and Chromium's sandbox, which cannot start under root, is off in tests only.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    }
    CenterPortal::prepareApplication();
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
