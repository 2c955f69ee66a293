#include "tests/support/WebTestMain.h"

#include "tests/support/WebTestEnvironment.h"

#include <QGuiApplication>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

HttpsServer* server = nullptr;

} // namespace

HttpsServer& webTestServer() {
    return *server;
}

std::filesystem::path webTestOutput() {
    const char* given = std::getenv("KESTRYN_TEST_OUTPUT");
    std::filesystem::path folder = given != nullptr ? given : "test-output";
    std::filesystem::create_directories(folder);
    return std::filesystem::absolute(folder);
}

// Tests of real web pages: the loopback HTTPS server answers for the portal's host, and the web
// engine is set up for it before it starts. Headless unless QT_QPA_PLATFORM names a display.
int main(int argc, char** argv) {
    HttpsServer site(0, {webTestHost});
    const WebTestEnvironment environment(site, webTestHost);
    server = &site;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QtWebEngineQuick::initialize();
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
