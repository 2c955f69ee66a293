#include "platform/LinuxWorkspace.h"

#include "core/FileContents.h"
#include "tests/support/Bundle.h"
#include "tests/support/TemporaryDirectory.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

namespace {

namespace fs = std::filesystem;

// The real workspace with PATH pointing at a scripted xdg-open that records what it is asked to
// open and answers with the exit status the test chooses.
class LinuxWorkspaceTest : public ::testing::Test {
  protected:
    TemporaryDirectory temp;
    std::string previousPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    CenterPlatform::LinuxWorkspace workspace;

    void SetUp() override { ::setenv("PATH", (temp / "bin").c_str(), 1); }
    void TearDown() override { ::setenv("PATH", previousPath.c_str(), 1); }

    void opener(int status) {
        fs::path script = temp.write("bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"" +
                                                         (temp / "opened").string() + "\"\nexit " +
                                                         std::to_string(status) + "\n");
        fs::permissions(script, fs::perms::owner_all);
    }

    std::string opened() const { return CenterCore::readFileContents(temp / "opened", 4096); }
};

TEST_F(LinuxWorkspaceTest, FilesAndAddressesOpenThroughXdgOpenWhoseStatusDecides) {
    EXPECT_FALSE(workspace.openFile(temp / "none.pkg")) << "without xdg-open nothing opens";
    // An address opens as a file does; files, with spaces in their paths and a failing status,
    // open in the demonstration.
    opener(0);
    EXPECT_TRUE(workspace.openURL("https://www.kestryn.com/donate.html"));
    EXPECT_EQ(opened(), "https://www.kestryn.com/donate.html");
}

TEST_F(LinuxWorkspaceTest, AnApplicationStartsFromItsBundlesExecutable) {
    const std::string starting = "#!/bin/sh\n: > \"" + (temp / "started").string() + "\"\n";
    fs::path app = writeBundle(temp.path(), "KESTRYN 回响工坊.app",
                               {.executable = "回响", .files = {{"MacOS/回响", starting}}});
    EXPECT_EQ(workspace.openApplication(app), std::nullopt);
    for (int i = 0; i < 200 && !fs::exists(temp / "started"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(fs::exists(temp / "started"));

    fs::remove(app / "Contents/Info.plist");
    EXPECT_EQ(workspace.openApplication(app),
              "无法打开“KESTRYN 回响工坊.app”：应用程序缺少有效的可执行文件。");
}

} // namespace
