#include "installer/RunningApplications.h"

#include "tests/support/Bundle.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryDirectory.h"

#include <csignal>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using CenterInstaller::isRunning;

// A real process started from inside an application bundle, a copy of sleep as its executable,
// is found by its bundle identifier (unique to the test process, so tests running side by side
// never see each other's applications) or by its bundle, even through a link, until it ends.
TEST(RunningApplication, IsFoundByItsIdentifierOrBundleUntilItEnds) {
    TemporaryDirectory temp;
    std::string bundleID = "local.running-test-" + std::to_string(::getpid());
    fs::path app = writeBundle(temp.path(), "Sample.app", {.bundleID = bundleID});
    fs::path executable = app / "Contents/MacOS/Sample";
    fs::copy_file("/bin/sleep", executable, fs::copy_options::overwrite_existing);
    RunningProgram sleeping(executable, {"30"});
    // The process shows its own executable once exec has happened.
    for (int i = 0; i < 500 && !isRunning(bundleID, std::nullopt); ++i) {
        ::usleep(2000);
    }
    fs::create_directory_symlink(app, temp / "Alias.app");

    EXPECT_TRUE(isRunning(bundleID, std::nullopt));
    EXPECT_FALSE(isRunning(bundleID + ".other", std::nullopt));
    EXPECT_TRUE(isRunning("other.id", app));
    EXPECT_TRUE(isRunning("other.id", temp / "Alias.app"));
    EXPECT_FALSE(isRunning("other.id", temp / "Other.app"));
    sleeping.signal(SIGKILL);
    static_cast<void>(sleeping.wait());
    EXPECT_FALSE(isRunning(bundleID, app));
}

} // namespace
