#include "tests/support/WebTestMain.h"

#include "portal/web/CenterPortal.h"
#include "tests/support/InfoPlist.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryDirectory.h"

#include <QGuiApplication>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>

namespace {

HttpsServer* server = nullptr;

void runCertutil(const std::vector<std::string>& arguments) {
    ProgramResult result = runProgram("/usr/bin/certutil", arguments);
    if (result.exitCode != 0) {
        throw std::runtime_error("certutil: " + result.err);
    }
}

// Prepares this process so that Qt WebEngine reaches the loopback HTTPS server under the portal's
// own host name, with nothing in the program relaxed, before the engine starts:
// - HOME (and the XDG folders) in `folder`, whose NSS database trusts the server's certificate;
// - QTWEBENGINE_CHROMIUM_FLAGS gains `--host-resolver-rules="MAP <host> 127.0.0.1:<port>"`, and
//   `--no-sandbox` under root, where Chromium's sandbox cannot start;
// - KESTRYN_RESOURCES names a resources folder whose Info.plist has KESPortalURL = https://<host>.
// By hand (the demo), with the port and ca file that `kestryn-test-server --host <host> <folder>`
// prints, before starting the program:
//   export HOME=$(mktemp -d) && mkdir -p "$HOME/.pki/nssdb"
//   certutil -d "sql:$HOME/.pki/nssdb" -N --empty-password
//   certutil -d "sql:$HOME/.pki/nssdb" -A -t "C,," -n kestryn-test -i "$ca"
//   export QTWEBENGINE_CHROMIUM_FLAGS="--host-resolver-rules=\"MAP <host> 127.0.0.1:$port\""
//   (add --no-sandbox to the flags when running as root)
//   export KESTRYN_RESOURCES=<a copy of the resources with KESPortalURL = https://<host>>
void reachUnderHostName(const TemporaryDirectory& folder, const HttpsServer& site,
                        const std::string& host) {
    const std::filesystem::path home = folder / "home";
    const std::filesystem::path database = home / ".pki" / "nssdb";
    std::filesystem::create_directories(database);
    const std::string store = "sql:" + database.string();
    runCertutil({"-d", store, "-N", "--empty-password"});
    runCertutil(
        {"-d", store, "-A", "-t", "C,,", "-n", "kestryn-test", "-i", site.caFile().string()});
    ::setenv("HOME", home.string().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / ".config").string().c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / ".local" / "share").string().c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home / ".cache").string().c_str(), 1);

    folder.write("resources/Info.plist",
                 infoPlist({{"KESPortalURL", plistString("https://" + std::string(host))}}));
    ::setenv("KESTRYN_RESOURCES", (folder / "resources").string().c_str(), 1);

    const char* given = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS");
    std::string flags = given != nullptr ? given : "";
    flags +=
        " --host-resolver-rules=\"MAP " + host + " 127.0.0.1:" + std::to_string(site.port()) + "\"";
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS",
             (flags + (::geteuid() == 0 ? " --no-sandbox" : "")).c_str(), 1);
}

} // namespace

HttpsServer& webTestServer() {
    return *server;
}

// Tests of real web pages: the loopback HTTPS server answers for the portal's host, and the web
// engine is set up for it before it starts. Headless unless QT_QPA_PLATFORM names a display.
int main(int argc, char** argv) {
    HttpsServer site(0, {webTestHost});
    const TemporaryDirectory folder;
    reachUnderHostName(folder, site, webTestHost);
    server = &site;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    CenterPortal::prepareApplication();
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
