#include "core/FolderLock.h"
#include "installer/Recovery.h"
#include "installer/Staging.h"
#include "tests/installer/InstallFixture.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace CenterInstaller;
using Real = SystemInstallOperations;
using Path = const fs::path&;
using Name = const std::string&;
using Stop = std::stop_token;

const std::string rollbackFailed = "更新未完成，回退也未完成。完整原版备份位于：";

// The real install operations, numbered call by call from 1, failing the chosen calls as the
// platform would (an I/O error, or a failed attribute call), or ending the process just before
// one call to stand for a crash.
class FailingOperations : public Real {
  public:
    std::set<std::size_t> failing;
    std::size_t crashBefore = 0;
    // Every call made, as "operation name-of-the-item".
    std::vector<std::string> calls;

    void createDirectory(Path dir) override { Real::createDirectory(step(__func__, dir)); }
    void createDirectories(Path dir) override { Real::createDirectories(step(__func__, dir)); }
    void move(Path from, Path to) override { Real::move(from, step(__func__, to)); }
    void remove(Path item) override { Real::remove(step(__func__, item)); }
    void unpack(Path zip, Path to, Stop stop) override {
        Real::unpack(zip, step(__func__, to), stop);
    }
    void copyBundle(Path from, Path to, Stop stop) override {
        Real::copyBundle(from, step(__func__, to), stop);
    }
    void verifySignature(Path app) override { Real::verifySignature(step(__func__, app)); }
    void writeDurably(Path file, std::string_view bytes) override {
        Real::writeDurably(step(__func__, file), bytes);
    }
    AttributeResult attributeSize(Path item, Name name) override {
        return proceed(__func__, item) ? Real::attributeSize(item, name) : failed();
    }
    AttributeResult readAttribute(Path item, Name name, std::span<char> buffer) override {
        return proceed(__func__, item) ? Real::readAttribute(item, name, buffer) : failed();
    }
    AttributeResult writeAttribute(Path item, Name name, std::span<const char> value) override {
        return proceed(__func__, item) ? Real::writeAttribute(item, name, value) : failed();
    }
    AttributeResult removeAttribute(Path item, Name name) override {
        return proceed(__func__, item) ? Real::removeAttribute(item, name) : failed();
    }

  private:
    static AttributeResult failed() { return AttributeResult::failed(); }
    // Records the call; true when it should go ahead.
    bool proceed(const char* operation, const fs::path& item) {
        calls.push_back(std::string(operation) + " " + item.filename().string());
        if (calls.size() == crashBefore) {
            ::_exit(0);
        }
        return !failing.contains(calls.size());
    }
    // Records the call and throws when it should fail; returns the item.
    Path step(const char* operation, Path item) {
        if (!proceed(operation, item)) {
            throw fs::filesystem_error("injected failure", item,
                                       std::make_error_code(std::errc::io_error));
        }
        return item;
    }
};

// How version 2.0 replaces the installed 1.0: an update from a package, or a restore of a
// backup copy of 2.0.
enum class Replacement { update, restore };

// A replacement of 1.0 by 2.0 whose calls fail or crash one by one.
class InstallFault : public InstallFixture, public ::testing::WithParamInterface<Replacement> {
  protected:
    fs::path zip;
    // The backup a restore starts from, outside the backup folder the run writes to, and what
    // it holds; a restore never changes it.
    fs::path saved;
    Picture savedPicture;
    Picture old;
    // The calls of an update that succeeds, and the number of the one that moves the installed
    // Contents aside.
    std::vector<std::string> calls;
    std::size_t swap = 0;

    void SetUp() override {
        InstallFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        installOldVersion();
        old = picture(installedBundle);
        zip = package("2.0", "1");
        saved = writeBundle(temp / "历史 版本", "audio-较早.app",
                            {.version = "2.0", .files = {{"Resources/version.txt", "2.0 1"}}});
        savedPicture = picture(saved);
        calls = updateFailing({});
        auto aside = std::find(calls.begin(), calls.end(), "move previous-Contents");
        swap = static_cast<std::size_t>(aside - calls.begin()) + 1;
        ASSERT_LT(swap, calls.size());
    }

    // Installs 2.0 through the operations; the error's sentence, or nothing on success.
    std::optional<std::string> attempt(FailingOperations& operations) {
        try {
            if (GetParam() == Replacement::update) {
                static_cast<void>(run(zip, release("2.0", "1"), notRunning, operations));
            } else {
                static_cast<void>(CenterInstaller::restore(saved, product, applications, backups,
                                                           notRunning, operations));
            }
            return std::nullopt;
        } catch (const std::exception& error) {
            return error.what();
        }
    }

    // Runs the update in a child process that ends just before this call, as a crash would.
    void crashBefore(std::size_t call) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FailingOperations operations;
            operations.crashBefore = call;
            static_cast<void>(attempt(operations));
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
    }

    // Runs the update with these calls failing and checks what the user is left with: the old
    // bundle exactly as it was, or the new one with a faithful backup, or, when the rollback
    // itself failed, a faithful backup that the message names. Returns the calls made.
    std::vector<std::string> updateFailing(const std::set<std::size_t>& failing) {
        FailingOperations operations;
        operations.failing = failing;
        std::optional<std::string> message = attempt(operations);
        std::string context = "failing calls";
        bool removalFailed = false;
        for (std::size_t call : failing) {
            std::string name =
                call <= operations.calls.size() ? operations.calls[call - 1] : "not reached";
            context += " " + std::to_string(call) + " (" + name + ")";
            removalFailed = removalFailed || name.starts_with("remove ");
        }
        SCOPED_TRACE(context);
        EXPECT_EQ(picture(saved), savedPicture);
        bool rollbackLost = message && message->starts_with(rollbackFailed);
        // A failed rollback that left the bundle without Contents keeps them for recovery.
        bool kept = rollbackLost && !fs::exists(installedBundle / "Contents");
        if (!removalFailed) {
            EXPECT_EQ(stagingFolders().size(), kept ? 1U : 0U);
        }
        std::vector<fs::path> copies = entries(backups, product.id + "-");
        for (const fs::path& copy : copies) {
            EXPECT_EQ(picture(copy), old);
        }
        if (!message) {
            EXPECT_EQ(installedVersion(installedBundle), "2.0 1");
            EXPECT_EQ(copies.size(), 1U);
        } else if (rollbackLost) {
            EXPECT_EQ(copies, std::vector<fs::path>{message->substr(rollbackFailed.size())});
        } else {
            EXPECT_EQ(picture(installedBundle), old) << *message;
        }
        if (kept) {
            recoverInterruptedInstallations(applications);
            EXPECT_EQ(picture(installedBundle), old);
        }
        restore();
        return operations.calls;
    }

    // Recovery leaves no staging folder behind, whatever failed; then the old version is put
    // back for the next run.
    void restore() {
        recoverInterruptedInstallations(applications);
        EXPECT_TRUE(stagingFolders().empty());
        reset();
    }
    void reset() {
        fs::remove_all(applications);
        fs::remove_all(backups);
        installOldVersion();
    }
};

TEST_P(InstallFault, EveryFailingCallOrPairOfRollbackCallsLeavesOneWholeVersion) {
    for (std::size_t first = 1; first <= calls.size(); ++first) {
        std::vector<std::string> failed = updateFailing({first});
        for (std::size_t second = first + 1; first > swap && second <= failed.size(); ++second) {
            updateFailing({first, second});
        }
    }
}

TEST_P(InstallFault, RecoveryAfterACrashAnywhereInTheSwapRestoresOneWholeVersion) {
    for (std::size_t crash = swap; crash <= calls.size() + 1; ++crash) {
        SCOPED_TRACE("crash before call " + std::to_string(crash));
        crashBefore(crash);
        recoverInterruptedInstallations(applications);
        EXPECT_TRUE(stagingFolders().empty());
        Picture now = picture(installedBundle);
        if (now != old) {
            EXPECT_EQ(installedVersion(installedBundle), "2.0 1");
            EXPECT_EQ(now.icon, LegacyIconState{});
        }
        restore();
    }
}

// Recovery touches nothing it cannot prove safe to put back, since the staging folder may hold
// the only copy of the user's application; a later recovery finishes it (proven above).
TEST_P(InstallFault, RecoveryLeavesAFolderItCannotSafelyRestoreExactlyAsItWas) {
    std::optional<CenterCore::FolderLock> running;
    FailingOperations failingMove;
    failingMove.failing = {1};
    struct Case {
        const char* what;
        std::function<void(const fs::path& staging)> prepare;
        InstallOperations* operations = &systemOperations();
    };
    const std::vector<Case> cases = {
        {"held by a running installation",
         [&](Path staging) { running.emplace(CenterCore::FolderLock::wait(staging)); }},
        {"record naming no bundle folder",
         [&](Path staging) {
             temp.write(staging / Staging::recordName, Staging::encode({"../escaped.app", {}}));
         }},
        {"bundle gone", [&](Path) { fs::remove_all(installedBundle); }},
        {"contents cannot be moved back", [](Path) {}, &failingMove},
    };
    for (const Case& tested : cases) {
        SCOPED_TRACE(tested.what);
        crashBefore(swap + 1);
        ASSERT_EQ(stagingFolders().size(), 1U);
        const fs::path staging = stagingFolders()[0];
        ASSERT_TRUE(fs::exists(staging / Staging::previousContents));
        tested.prepare(staging);
        const auto before = treeSnapshot(applications);
        recoverInterruptedInstallations(applications, *tested.operations);
        EXPECT_EQ(treeSnapshot(applications), before);
        running.reset();
        reset();
    }
}

TEST_P(InstallFault, FirstInstallationFailingAtAnyCallLeavesNoBundleOrACompleteOne) {
    fs::remove_all(applications);
    for (std::size_t call = 1;; ++call) {
        SCOPED_TRACE("failing call " + std::to_string(call));
        FailingOperations operations;
        operations.failing = {call};
        std::optional<std::string> message = attempt(operations);
        bool reached = call <= operations.calls.size();
        if (reached && operations.calls[call - 1].starts_with("remove ")) {
            recoverInterruptedInstallations(applications);
        }
        EXPECT_TRUE(stagingFolders().empty());
        if (message) {
            EXPECT_FALSE(fs::exists(installedBundle));
        } else {
            EXPECT_EQ(installedVersion(installedBundle), "2.0 1");
            fs::remove_all(installedBundle);
        }
        if (!reached) {
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(UpdateAndRestore, InstallFault,
                         ::testing::Values(Replacement::update, Replacement::restore),
                         [](const ::testing::TestParamInfo<Replacement>& row) {
                             return row.param == Replacement::update ? "Update" : "Restore";
                         });

} // namespace
