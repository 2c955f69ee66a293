// The window thread's share of the center's periodic work: a refresh of the installed copies
// (what the 15-second timer and every return to the window run) and a download's progress tick,
// with the real window offscreen and 回响工坊's detail open over 50 backups of a 2,000-file
// application. Time is the window thread's own CPU time, so work moved to other threads and
// the waiting for it are not counted.
#include "app/KestrynCenterApp.h"
#include "app/WindowPrompts.h"
#include "core/CatalogJSON.h"
#include "core/FileContents.h"
#include "core/Records.h"
#include "model/CenterModel.h"
#include "portal/web/CenterPortal.h"
#include "tests/support/Bundle.h"
#include "tests/support/ScriptedDesktop.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTest>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;

constexpr int backupCount = 50;
constexpr int filesPerBundle = 2000;

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

fs::path inputs() {
    const char* folder = std::getenv("KESTRYN_BENCH_WINDOW");
    return folder != nullptr ? folder : "/tmp/kestryn-bench-window";
}

// The installed 回响工坊 2.0 and its 50 earlier versions in the backup folder, written once.
void prepare(const CenterProduct& audio) {
    if (fs::exists(inputs() / "ready")) {
        return;
    }
    fs::remove_all(inputs());
    BundleContents contents{.bundleID = audio.bundleID, .version = "2.0", .build = "200"};
    contents.files.clear();
    for (int file = 0; file < filesPerBundle; ++file) {
        contents.files["Resources/素材 " + std::to_string(file / 100) + "/片段 " +
                       std::to_string(file) + ".bin"] = std::string(512, 'a' + file % 26);
    }
    writeBundle(inputs() / "Applications", "KESTRYN " + audio.name + ".app", contents);
    for (int backup = 0; backup < backupCount; ++backup) {
        contents.version = "1." + std::to_string(backup);
        contents.build = std::to_string(100 + backup);
        writeBundle(inputs() / "support/Backups",
                    "KESTRYN " + audio.name + " " + contents.version + ".app", contents);
    }
    fs::create_directories(inputs() / "resources");
    for (const char* name : {"Catalog.json", "Info.plist"}) {
        fs::copy_file(fs::path(KESTRYN_RESOURCES_DIR) / name, inputs() / "resources" / name);
    }
    fs::copy_file(fs::path(KESTRYN_TEST_DATA) / "test-keys/publisher/PublicKey.txt",
                  inputs() / "resources/PublicKey.txt");
    std::ofstream(inputs() / "ready") << "ready\n";
}

// The real model and window over the prepared folders, 回响工坊's detail open.
struct OpenWindow {
    ScriptedPrompts prompts;
    ScriptedWorkspace workspace;
    WindowPrompts dialogs;
    CenterActivation activation;
    std::unique_ptr<CenterModel> model;
    std::unique_ptr<KestrynCenterApp> app;

    OpenWindow() {
        CenterModelSetup setup;
        setup.resources = inputs() / "resources";
        setup.supportDirectory = inputs() / "support";
        setup.settingsFile = inputs() / "settings.json";
        setup.applicationDirectories = {inputs() / "Applications"};
        setup.workspace = &workspace;
        setup.prompts = &prompts;
        setup.activation = &activation;
        setup.runningCheck = [](const std::string&, const std::optional<fs::path>&) {
            return false;
        };
        model = std::make_unique<CenterModel>(std::move(setup));
        app = std::make_unique<KestrynCenterApp>(*model, workspace, dialogs, &activation,
                                                 inputs() / "resources");
        if (!QTest::qWaitForWindowExposed(app->window())) {
            throw std::runtime_error("the window was not shown");
        }
        model->showDetails("audio", CenterDetailSection::overview);
        settle();
        // The first ticks after the start load what every later one reuses.
        for (int tick = 0; tick < 3; ++tick) {
            model->refreshInstalled();
            settle();
        }
    }

    // Runs the window thread until the model and the window have nothing left to do.
    void settle() const {
        for (int round = 0; round < 200 && !model->isIdle(); ++round) {
            QTest::qWait(5);
        }
        for (int round = 0; round < 3; ++round) {
            QCoreApplication::processEvents();
            QTest::qWait(5);
        }
    }
};

// Made at the first benchmark and closed before the application ends.
std::unique_ptr<OpenWindow> openWindow;

OpenWindow& window() {
    if (!openWindow) {
        openWindow = std::make_unique<OpenWindow>();
    }
    return *openWindow;
}

template <typename Tick> void measure(benchmark::State& state, Tick tick) {
    OpenWindow& open = window();
    for (auto _ : state) {
        const double start = threadSeconds();
        tick(open);
        open.settle();
        state.SetIterationTime(threadSeconds() - start);
    }
}

void refreshTick(benchmark::State& state) {
    measure(state, [](OpenWindow& open) { open.model->refreshInstalled(); });
}
BENCHMARK(refreshTick)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void progressTick(benchmark::State& state) {
    measure(state, [](OpenWindow& open) { emit open.model->progressChanged(); });
}
BENCHMARK(progressTick)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 0);
    CenterPortal::prepareApplication();
    QGuiApplication application(argc, argv);
    CenterCatalog catalog = CenterCore::decodeCatalog(
        CenterCore::readFileContents(KESTRYN_RESOURCES_DIR "/Catalog.json", 1 << 20));
    for (const CenterProduct& product : catalog.products) {
        if (product.id == "audio") {
            prepare(product);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    openWindow.reset();
    benchmark::Shutdown();
    return 0;
}
