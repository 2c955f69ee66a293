#include "tests/support/Bundle.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryDirectory.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const fs::path kestryn = KESTRYN_BIN_DIR "/kestryn";
const fs::path publish = KESTRYN_BIN_DIR "/kestryn-publish";

const std::string notNewer = "已安装相同或更新版本，无需替换。\n";
const std::string cancelled = "安装已取消，软件未作任何改动。\n";

// A product of the shipped catalog that the installer may install.
struct Product {
    std::string id;
    std::string name;
    std::string bundleID;

    [[nodiscard]] std::string bundleName() const { return "KESTRYN " + name + ".app"; }
};

const Product audio{"audio", "回响工坊", "local.soundlink"};

// Real releases as the publisher makes them (a bundle with the product's Chinese folder name,
// sealed and packed by kestryn-publish) and `kestryn install` run on them as a user runs it,
// with its own temporary, data and applications folders.
class InstallerVerbs : public ::testing::Test {
  protected:
    TemporaryDirectory temp;
    fs::path applications = temp / "Applications";
    fs::path backups = temp / "data/KESTRYN Center/Backups";
    fs::path temporary = temp / "tmp";
    std::string locale = "";

    void SetUp() override { fs::create_directory(temporary); }

    // The bundle of a release, written once per product and version.
    fs::path bundle(const Product& product, const std::string& version, int extraFiles = 0) {
        fs::path folder = temp / (product.id + "-" + version);
        fs::path app = folder / product.bundleName();
        if (fs::exists(app)) {
            return app;
        }
        BundleContents contents{.bundleID = product.bundleID, .version = version, .sealed = false};
        contents.files["Resources/说明 文档.txt"] = product.name + " " + version;
        std::mt19937 noise(static_cast<unsigned>(version.size()));
        for (int i = 0; i < extraFiles; ++i) {
            std::string data(32 * 1024, '\0');
            for (char& byte : data) {
                byte = static_cast<char>(noise() % 64);
            }
            contents.files["Resources/素材/" + std::to_string(i) + ".bin"] = data;
        }
        writeBundle(folder, product.bundleName(), contents);
        return app;
    }

    // The release's package, sealed and packed by the publisher.
    fs::path release(const Product& product, const std::string& version, int extraFiles = 0) {
        fs::path app = bundle(product, version, extraFiles);
        fs::path zip = app.parent_path() / "release.zip";
        if (!fs::exists(zip)) {
            ProgramResult sealed = runProgram(publish, {"seal", app.string()}, environment());
            EXPECT_EQ(sealed.exitCode, 0) << sealed.err;
            ProgramResult packed =
                runProgram(publish, {"pack", app.string(), zip.string()}, environment());
            EXPECT_EQ(packed.exitCode, 0) << packed.err;
        }
        return zip;
    }

    std::map<std::string, std::string> environment() const {
        return {{"KESTRYN_RESOURCES", KESTRYN_RESOURCES_DIR},
                {"XDG_DATA_HOME", (temp / "data").string()},
                {"TMPDIR", temporary.string()},
                {"LC_ALL", locale},
                {"LANG", locale}};
    }

    std::vector<std::string> installWords(const fs::path& zip, const Product& product) const {
        return {"install",  zip.string(),     "--product",
                product.id, "--applications", applications.string()};
    }
    ProgramResult install(const fs::path& zip, const Product& product = audio) const {
        return runProgram(kestryn, installWords(zip, product), environment());
    }

    // What `kestryn install` reports for an installation of this version.
    std::string installed(const Product& product, const std::string& version) const {
        return "已安装 " + product.name + " " + version + "（1）：" +
               (applications / product.bundleName()).string() + "\n";
    }

    // The backups of the product, by their names.
    std::vector<fs::path> backupsOf(const Product& product) const {
        std::vector<fs::path> found;
        std::error_code missing;
        for (const auto& entry : fs::directory_iterator(backups, missing)) {
            if (entry.path().filename().string().starts_with(product.id + "-")) {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    // Every work folder a run may leave: staging, unfinished backup copies, inspections.
    std::vector<fs::path> workFolders() const {
        std::vector<fs::path> found;
        for (const fs::path& place : {applications, backups, temporary}) {
            std::error_code missing;
            for (const auto& entry : fs::directory_iterator(place, missing)) {
                std::string name = entry.path().filename().string();
                if (name.starts_with(".kestryn-") || name.starts_with("kestryn-")) {
                    found.push_back(entry.path());
                }
            }
        }
        return found;
    }

    static std::map<std::string, std::string> contentsOf(const fs::path& app) {
        return treeSnapshot(app / "Contents");
    }
};

TEST_F(InstallerVerbs, EveryInstallableProductInstallsAndUpdatesUnderAnyLocale) {
    const std::vector<Product> products = {
        {"subtitle", "行文工坊", "local.captionlink.workflow"},
        audio,
        {"library", "藏集工坊", "local.tavelo.asset-library"},
        {"video", "动帧工坊", "com.kestryn.video-assistant.preview"},
    };
    for (const char* name : {"", "C.UTF-8"}) {
        locale = name;
        fs::remove_all(temp / "data");
        fs::remove_all(applications);
        for (const Product& product : products) {
            SCOPED_TRACE(product.id + " under LC_ALL=" + locale);
            ProgramResult first = install(release(product, "1.0"), product);
            ASSERT_EQ(first.exitCode, 0) << first.err;
            EXPECT_EQ(first.out, installed(product, "1.0"));

            EXPECT_EQ(install(release(product, "1.0"), product).err, notNewer);

            ProgramResult update = install(release(product, "1.1"), product);
            ASSERT_EQ(update.exitCode, 0) << update.err;
            ASSERT_EQ(backupsOf(product).size(), 1U);
            fs::path backup = backupsOf(product)[0];
            EXPECT_EQ(update.out,
                      installed(product, "1.1") + "完整原版备份位于：" + backup.string() + "\n");
            EXPECT_EQ(contentsOf(backup), contentsOf(bundle(product, "1.0")));
            EXPECT_EQ(contentsOf(applications / product.bundleName()),
                      contentsOf(bundle(product, "1.1")));
        }
        EXPECT_EQ(workFolders(), std::vector<fs::path>{});
    }
}

TEST_F(InstallerVerbs, InspectPrintsThePackagesOneApplicationOrTheRuleItBreaks) {
    const auto inspect = [this](const fs::path& package) {
        return runProgram(kestryn, {"inspect", package.string()}, environment());
    };
    ProgramResult released = inspect(release(audio, "1.0"));
    EXPECT_EQ(released.exitCode, 0) << released.err;
    EXPECT_EQ(released.out, audio.bundleName() + "\n");

    const fs::path loose = temp / "loose/Sample";
    temp.write(loose / "readme.txt", "not an application");
    ProgramResult refused = inspect(zipBundle(loose, temp / "loose.zip"));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "安装包必须只包含一个独立的 .app 软件。\n");
}

TEST_F(InstallerVerbs, KeepsTheBackupInTheFolderTheUserNames) {
    ASSERT_EQ(install(release(audio, "1.0")).exitCode, 0);
    std::vector<std::string> words = installWords(release(audio, "1.1"), audio);
    words.insert(words.end(), {"--backups", (temp / "我的 备份").string()});
    ProgramResult update = runProgram(kestryn, words, environment());
    ASSERT_EQ(update.exitCode, 0) << update.err;
    EXPECT_EQ(contentsOf(fs::directory_iterator(temp / "我的 备份")->path()),
              contentsOf(bundle(audio, "1.0")));
}

// Two updates of one product at once: the second waits for the first, then finds the version
// already installed.
TEST_F(InstallerVerbs, ParallelInstallationsTakeTurns) {
    ASSERT_EQ(install(release(audio, "1.0")).exitCode, 0);
    fs::path zip = release(audio, "2.0", 150);
    RunningProgram one(kestryn, installWords(zip, audio), environment());
    RunningProgram two(kestryn, installWords(zip, audio), environment());
    std::vector<ProgramResult> results = {one.wait(), two.wait()};

    std::multiset<int> codes = {results[0].exitCode, results[1].exitCode};
    EXPECT_EQ(codes, (std::multiset<int>{0, 1}));
    for (const ProgramResult& result : results) {
        if (result.exitCode == 1) {
            EXPECT_EQ(result.err, notNewer);
        }
    }
    ASSERT_EQ(backupsOf(audio).size(), 1U);
    EXPECT_EQ(contentsOf(backupsOf(audio)[0]), contentsOf(bundle(audio, "1.0")));
    EXPECT_EQ(workFolders(), std::vector<fs::path>{});
}

// Updates from 1.0 to 2.0 stopped by a signal at points spread over a whole run.
class InterruptedUpdate : public InstallerVerbs {
  protected:
    fs::path zip;
    fs::path pristine = temp / "pristine";
    Clock::duration length{};

    void SetUp() override {
        InstallerVerbs::SetUp();
        zip = release(audio, "2.0", 150);
        ASSERT_EQ(install(release(audio, "1.0")).exitCode, 0);
        fs::copy(applications, pristine, fs::copy_options::recursive);
        Clock::time_point start = Clock::now();
        ASSERT_EQ(install(zip).exitCode, 0);
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

    // Starts the update and sends the signal after `part` of a run's length.
    ProgramResult interrupt(int number, int part, int parts) {
        RunningProgram run(kestryn, installWords(zip, audio), environment());
        std::this_thread::sleep_for(length * part / parts);
        run.signal(number);
        return run.wait();
    }

    // The installed bundle is one whole version, and every backup a whole copy of 1.0.
    void expectWhole(const std::map<std::string, std::string>& version) {
        EXPECT_EQ(contentsOf(applications / audio.bundleName()), version);
        for (const fs::path& backup : backupsOf(audio)) {
            EXPECT_EQ(contentsOf(backup), contentsOf(bundle(audio, "1.0"))) << backup;
        }
    }
};

TEST_F(InterruptedUpdate, CtrlCEndsTheRunCleanlyAndSaysSo) {
    // From the first part on: a signal before the program has started is the shell's affair.
    constexpr int parts = 6;
    for (int part = 1; part < parts; ++part) {
        SCOPED_TRACE("interrupted at " + std::to_string(part) + "/" + std::to_string(parts));
        ProgramResult result = interrupt(SIGINT, part, parts);
        if (result.signal == SIGINT) {
            // Still starting up (a slow machine): the signal ended it before it took Ctrl+C over.
            expectWhole(contentsOf(bundle(audio, "1.0")));
        } else if (result.exitCode == 0) {
            expectWhole(contentsOf(bundle(audio, "2.0")));
        } else {
            EXPECT_EQ(result.exitCode, 130);
            EXPECT_EQ(result.err, cancelled);
            expectWhole(contentsOf(bundle(audio, "1.0")));
            EXPECT_EQ(backupsOf(audio), std::vector<fs::path>{});
        }
        EXPECT_EQ(workFolders(), std::vector<fs::path>{});
        reset();
    }
}

TEST_F(InterruptedUpdate, AKilledRunLeavesNoPartialBackupAndTheNextRunFinishesCleanly) {
    constexpr int parts = 8;
    for (int part = 0; part <= parts; ++part) {
        SCOPED_TRACE("killed at " + std::to_string(part) + "/" + std::to_string(parts));
        static_cast<void>(interrupt(SIGKILL, part, parts));
        // A folder with a backup's name is a whole copy at every moment.
        for (const fs::path& backup : backupsOf(audio)) {
            EXPECT_EQ(contentsOf(backup), contentsOf(bundle(audio, "1.0"))) << backup;
        }
        ProgramResult next = install(zip);
        EXPECT_TRUE(next.exitCode == 0 || next.err == notNewer) << next.err;
        expectWhole(contentsOf(bundle(audio, "2.0")));
        EXPECT_EQ(workFolders(), std::vector<fs::path>{});
        reset();
    }
}

} // namespace
