#include "installer/Recovery.h"

#include "core/FolderLock.h"
#include "installer/Staging.h"
#include "tests/installer/InstallFixture.h"

#include <functional>
#include <optional>

namespace {

namespace fs = std::filesystem;
using namespace CenterInstaller;

// A staging folder that an update left after moving the installed Contents aside: the bundle has
// no Contents, and the staging folder holds the only copy of them.
class Recovery : public InstallFixture {
  protected:
    fs::path staging = applications / (std::string(Staging::prefix) + "interrupted");

    void SetUp() override {
        InstallFixture::SetUp();
        if (!IsSkipped()) {
            interrupt();
        }
    }

    // Installs 1.0 afresh and leaves it as the interrupted update would.
    void interrupt() {
        fs::remove_all(applications);
        installOldVersion();
        fs::create_directory(staging);
        fs::rename(installedBundle / "Contents", staging / Staging::previousContents);
        temp.write(staging / Staging::recordName,
                   Staging::encode({installedBundle.filename().string(), {}}));
    }
};

// Each case leaves the staging folder where recovery cannot prove a restore safe; it must then
// touch nothing, since the folder may hold the only copy of the user's application. (Recovery
// from an intact folder is proven after a crash at every step, in InstallFaultTest.)
TEST_F(Recovery, LeavesAFolderItCannotSafelyRestoreExactlyAsItWas) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
    };
    std::optional<CenterCore::FolderLock> running;
    const std::vector<Case> cases = {
        {"held by a running installation",
         [&] { running.emplace(CenterCore::FolderLock::wait(staging)); }},
        {"corrupt record", [&] { temp.write(staging / Staging::recordName, "{\"bundle\": 7"); }},
        {"record naming no bundle folder",
         [&] {
             temp.write(staging / Staging::recordName, Staging::encode({"../escaped.app", {}}));
         }},
        {"bundle gone", [&] { fs::remove_all(installedBundle); }},
    };
    for (const Case& tested : cases) {
        SCOPED_TRACE(tested.what);
        interrupt();
        tested.prepare();
        const auto before = treeSnapshot(applications);
        recoverInterruptedInstallations(applications);
        EXPECT_EQ(treeSnapshot(applications), before);
        running.reset();
    }
}

} // namespace
