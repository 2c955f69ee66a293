#include "tests/support/WebTestEnvironment.h"

#include "tests/support/ProgramRun.h"

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace {

void setVariable(const char* name, const std::string& value) {
    if (::setenv(name, value.c_str(), 1) != 0) {
        throw std::runtime_error(std::string("setenv ") + name);
    }
}

void runCertutil(const std::vector<std::string>& arguments) {
    ProgramResult result = runProgram("/usr/bin/certutil", arguments);
    if (result.exitCode != 0) {
        throw std::runtime_error("certutil: " + result.err);
    }
}

} // namespace

WebTestEnvironment::WebTestEnvironment(const HttpsServer& server, const std::string& host) {
    const std::filesystem::path database = home() / ".pki" / "nssdb";
    std::filesystem::create_directories(database);
    const std::string store = "sql:" + database.string();
    runCertutil({"-d", store, "-N", "--empty-password"});
    runCertutil(
        {"-d", store, "-A", "-t", "C,,", "-n", "kestryn-test", "-i", server.caFile().string()});
    setVariable("HOME", home().string());
    setVariable("XDG_CONFIG_HOME", (home() / ".config").string());
    setVariable("XDG_DATA_HOME", (home() / ".local" / "share").string());
    setVariable("XDG_CACHE_HOME", (home() / ".cache").string());

    folder_.write("resources/Info.plist",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                  "<key>KESPortalURL</key><string>https://" +
                      host + "</string></dict></plist>\n");
    setVariable("KESTRYN_RESOURCES", resources().string());

    const char* given = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS");
    std::string flags = given != nullptr ? given : "";
    flags += " --host-resolver-rules=\"MAP " + host +
             " 127.0.0.1:" + std::to_string(server.port()) + "\"";
    if (::geteuid() == 0) {
        flags += " --no-sandbox";
    }
    setVariable("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}
