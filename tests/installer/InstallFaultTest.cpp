#include "tests/installer/FailingOperations.h"
#include "tests/installer/InstallFixture.h"

#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using CenterInstaller::install;

const std::string rollbackFailed = "更新未完成，回退也未完成。完整原版备份位于：";

// An update from 1.0 to 2.0 with chosen operations failing, checked against what the user must
// be left with: the old bundle exactly as it was, or the new one with a faithful backup, or,
// when the rollback itself failed, a faithful backup that the message names.
class InstallFault : public InstallFixture {
  protected:
    fs::path zip;
    Picture old;

    void SetUp() override {
        InstallFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        installOldVersion();
        old = picture(installedBundle);
        zip = package("2.0", "1");
    }

    // Runs the update with these calls failing; returns every call it made.
    std::vector<std::string> updateFailing(const std::set<std::size_t>& failing) {
        FailingOperations operations;
        operations.failing = failing;
        std::string message;
        bool succeeded = false;
        try {
            InstallReceipt receipt = install(zip, product, release("2.0", "1"), applications,
                                             backups, notRunning, operations);
            succeeded = true;
            EXPECT_EQ(receipt.installedApp.version, "2.0");
        } catch (const std::exception& error) {
            message = error.what();
        }
        std::string context = "failing calls " + describe(failing, operations.calls);
        bool removalFailed = std::any_of(failing.begin(), failing.end(), [&](std::size_t call) {
            return call <= operations.calls.size() &&
                   operations.calls[call - 1].starts_with("remove ");
        });
        // A failed rollback that left the bundle without Contents keeps them for recovery.
        bool kept =
            message.starts_with(rollbackFailed) && !fs::exists(installedBundle / "Contents");
        if (kept) {
            EXPECT_EQ(stagingFolders().size(), 1U) << context;
        } else if (!removalFailed) {
            EXPECT_TRUE(stagingFolders().empty()) << context;
        }
        std::vector<fs::path> copies = entries(backups);
        if (message.starts_with(rollbackFailed)) {
            EXPECT_EQ(copies.size(), 1U) << context;
            EXPECT_EQ(message, rollbackFailed + copies.at(0).string()) << context;
            EXPECT_EQ(picture(copies.at(0)), old) << context;
        } else if (succeeded) {
            EXPECT_EQ(installedVersion(installedBundle), "2.0 1") << context;
            EXPECT_EQ(copies.size(), 1U) << context;
            EXPECT_EQ(picture(copies.at(0)), old) << context;
        } else {
            EXPECT_EQ(picture(installedBundle), old) << context << ": " << message;
            for (const fs::path& copy : copies) {
                EXPECT_EQ(picture(copy), old) << context;
            }
        }
        if (kept) {
            CenterInstaller::recoverInterruptedInstallations(applications);
            EXPECT_EQ(picture(installedBundle), old) << context;
        }
        restore();
        return operations.calls;
    }

    // Puts the old version back for the next run.
    void restore() {
        CenterInstaller::recoverInterruptedInstallations(applications);
        if (picture(installedBundle) != old) {
            fs::remove_all(installedBundle);
            fs::path copy = entries(backups).at(0);
            fs::rename(copy, installedBundle);
        }
        fs::remove_all(backups);
        EXPECT_TRUE(stagingFolders().empty());
    }

    static std::string describe(const std::set<std::size_t>& failing,
                                const std::vector<std::string>& calls) {
        std::string text;
        for (std::size_t call : failing) {
            text += std::to_string(call) + " (" +
                    (call <= calls.size() ? calls[call - 1] : std::string("not reached")) + ") ";
        }
        return text;
    }

    static std::size_t indexOf(const std::vector<std::string>& calls, const std::string& call) {
        auto found = std::find(calls.begin(), calls.end(), call);
        EXPECT_NE(found, calls.end()) << call;
        return static_cast<std::size_t>(found - calls.begin()) + 1;
    }
};

TEST_F(InstallFault, EveryFailingCallLeavesTheOldBundleOrACompleteUpdate) {
    std::vector<std::string> calls = updateFailing({});
    ASSERT_GT(calls.size(), 20U);
    for (std::size_t call = 1; call <= calls.size(); ++call) {
        updateFailing({call});
    }
}

TEST_F(InstallFault, EveryFailingRollbackCallNamesTheCompleteBackup) {
    std::vector<std::string> calls = updateFailing({});
    std::size_t swapStart = indexOf(calls, std::string("move ") + "previous-Contents");
    for (std::size_t first = swapStart + 1; first <= calls.size(); ++first) {
        std::vector<std::string> failed = updateFailing({first});
        for (std::size_t second = first + 1; second <= failed.size(); ++second) {
            updateFailing({first, second});
        }
    }
}

TEST_F(InstallFault, RecoveryAfterACrashAnywhereInTheSwapRestoresOneWholeVersion) {
    std::vector<std::string> calls = updateFailing({});
    std::size_t swapStart = indexOf(calls, std::string("move ") + "previous-Contents");
    Picture updated;
    for (std::size_t crash = swapStart; crash <= calls.size() + 1; ++crash) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FailingOperations operations;
            operations.interruptBefore = crash;
            operations.interrupt = [] { ::_exit(0); };
            try {
                static_cast<void>(install(zip, product, release("2.0", "1"), applications, backups,
                                          notRunning, operations));
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        CenterInstaller::recoverInterruptedInstallations(applications);
        EXPECT_TRUE(stagingFolders().empty()) << "crash before call " << crash;
        Picture now = picture(installedBundle);
        if (now != old) {
            EXPECT_EQ(installedVersion(installedBundle), "2.0 1") << "crash before call " << crash;
            EXPECT_EQ(now.icon, CenterInstaller::LegacyIconState{});
        }
        restore();
    }
}

TEST_F(InstallFault, RecoveryLeavesAStagingFolderWhoseContentsCannotBePutBack) {
    std::vector<std::string> calls = updateFailing({});
    std::size_t swapStart = indexOf(calls, std::string("move ") + "previous-Contents");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FailingOperations operations;
        operations.interruptBefore = swapStart + 1;
        operations.interrupt = [] { ::_exit(0); };
        static_cast<void>(install(zip, product, release("2.0", "1"), applications, backups,
                                  notRunning, operations));
        ::_exit(1);
    }
    ::waitpid(child, nullptr, 0);
    ASSERT_FALSE(fs::exists(installedBundle / "Contents"));

    FailingOperations failingMoves;
    failingMoves.failing = {1};
    CenterInstaller::recoverInterruptedInstallations(applications, failingMoves);
    ASSERT_EQ(stagingFolders().size(), 1U);
    EXPECT_TRUE(fs::exists(stagingFolders()[0] / "previous-Contents"));

    CenterInstaller::recoverInterruptedInstallations(applications);
    EXPECT_TRUE(stagingFolders().empty());
    EXPECT_EQ(picture(installedBundle), old);
}

} // namespace

namespace {

using FirstInstallFault = InstallFixture;

TEST_F(FirstInstallFault, EveryFailingCallLeavesNoBundleOrACompleteInstallation) {
    fs::path zip = package("1.0", "1");
    for (std::size_t call = 1;; ++call) {
        FailingOperations operations;
        operations.failing = {call};
        bool succeeded = true;
        try {
            static_cast<void>(CenterInstaller::install(
                zip, product, release("1.0", "1"), applications, backups, notRunning, operations));
        } catch (const std::exception&) {
            succeeded = false;
        }
        bool removalFailed =
            call <= operations.calls.size() && operations.calls[call - 1].starts_with("remove ");
        if (removalFailed) {
            CenterInstaller::recoverInterruptedInstallations(applications);
        }
        EXPECT_TRUE(stagingFolders().empty()) << "failing call " << call;
        if (succeeded) {
            EXPECT_EQ(installedVersion(installedBundle), "1.0 1") << "failing call " << call;
            fs::remove_all(installedBundle);
        } else {
            EXPECT_FALSE(fs::exists(installedBundle)) << "failing call " << call;
        }
        if (call > operations.calls.size()) {
            break;
        }
    }
}

} // namespace
