#include "tests/cli/CenterHome.h"

#include <chrono>
#include <csignal>
#include <set>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string notNewer = "已安装相同或更新版本，无需替换。\n";

// `kestryn install` run as a user runs it, updating 1.0 to a big 2.0 of the publisher's; the
// update is timed once so that signals can be spread over a run.
class InstallerVerbs : public CenterHome {
  protected:
    fs::path zip;
    fs::path pristine = temp / "pristine";
    Clock::duration length{};

    std::vector<std::string> installWords(const fs::path& package) const {
        return {"install", package.string(), "--product",
                "audio",   "--applications", applications.string()};
    }

    // Every work folder a run may leave: staging, unfinished backup copies, inspections.
    std::vector<fs::path> workFolders() const {
        std::vector<fs::path> found;
        for (const fs::path& place : {applications, backups, temporary}) {
            for (const char* prefix : {".kestryn-", "kestryn-"}) {
                std::vector<fs::path> left = entries(place, prefix);
                found.insert(found.end(), left.begin(), left.end());
            }
        }
        return found;
    }

    static std::map<std::string, std::string> contentsOf(const fs::path& bundle) {
        return treeSnapshot(bundle / "Contents");
    }

    void SetUp() override {
        zip = release("2.0", 150);
        ASSERT_EQ(center(installWords(release("1.0"))).exitCode, 0);
        fs::copy(applications, pristine, fs::copy_options::recursive);
        Clock::time_point start = Clock::now();
        ASSERT_EQ(center(installWords(zip)).exitCode, 0);
        // Only to spread the signals over a run; nothing is measured.
        length = Clock::now() - start;
        reset();
    }

    // Back to 1.0 installed, with no backups.
    void reset() {
        fs::remove_all(applications);
        fs::remove_all(backups);
        fs::copy(pristine, applications, fs::copy_options::recursive);
    }
};

// Two updates of one product at once: the second waits for the first, then finds the version
// already installed; the first says where its whole backup lies, in the folder the user names.
TEST_F(InstallerVerbs, ParallelUpdatesTakeTurnsAndTheFirstNamesItsBackup) {
    const fs::path chosen = temp / "我的 备份";
    std::vector<std::string> words = installWords(zip);
    words.insert(words.end(), {"--backups", chosen.string()});
    RunningProgram one(kestryn, words, environment());
    RunningProgram two(kestryn, words, environment());
    std::vector<ProgramResult> results = {one.wait(), two.wait()};
    EXPECT_EQ((std::multiset<int>{results[0].exitCode, results[1].exitCode}),
              (std::multiset<int>{0, 1}));
    ASSERT_EQ(entries(chosen).size(), 1U);
    const fs::path backup = entries(chosen)[0];
    for (const ProgramResult& result : results) {
        EXPECT_EQ(result.exitCode == 0 ? result.out : result.err,
                  result.exitCode == 0
                      ? "已安装 回响工坊 2.0（1）：" + (applications / soundApp).string() +
                            "\n完整原版备份位于：" + backup.string() + "\n"
                      : notNewer);
    }
    EXPECT_EQ(contentsOf(backup), contentsOf(bundle("1.0")));
    EXPECT_EQ(workFolders(), std::vector<fs::path>{});
}

// Ctrl+C or SIGTERM ends the run cleanly with 130 and the sentence; after a kill the next run
// finishes cleanly. At every moment each backup is a whole copy of 1.0.
TEST_F(InstallerVerbs, ASignalAnywhereLeavesOneWholeVersionAndWholeBackups) {
    const std::map<std::string, std::string> older = contentsOf(bundle("1.0"));
    const std::map<std::string, std::string> newer = contentsOf(bundle("2.0"));
    // From the first part on: a signal before the program has started is the shell's affair.
    constexpr int parts = 5;
    for (int part = 1; part < parts; ++part) {
        for (int number : {SIGINT, SIGTERM, SIGKILL}) {
            SCOPED_TRACE("signal " + std::to_string(number) + " at " + std::to_string(part) + "/" +
                         std::to_string(parts));
            RunningProgram run(kestryn, installWords(zip), environment());
            std::this_thread::sleep_for(length * part / parts);
            run.signal(number);
            ProgramResult result = run.wait();
            for (const fs::path& backup : entries(backups, "audio-")) {
                EXPECT_EQ(contentsOf(backup), older) << backup;
            }
            if (number == SIGKILL) {
                ProgramResult next = center(installWords(zip));
                EXPECT_TRUE(next.exitCode == 0 || next.err == notNewer) << next.err;
                EXPECT_EQ(contentsOf(applications / soundApp), newer);
            } else if (result.exitCode == 0) {
                EXPECT_EQ(contentsOf(applications / soundApp), newer);
            } else {
                // Still starting up (a slow machine), the program may be ended by the signal
                // before it takes the signal over; otherwise it says so.
                if (result.signal == 0) {
                    EXPECT_EQ(result.exitCode, 130);
                    EXPECT_EQ(result.err, "安装已取消，软件未作任何改动。\n");
                    EXPECT_EQ(entries(backups, "audio-"), std::vector<fs::path>{});
                }
                EXPECT_EQ(contentsOf(applications / soundApp), older);
            }
            EXPECT_EQ(workFolders(), std::vector<fs::path>{});
            reset();
        }
    }
}

} // namespace
