// The update's backup copy of a whole application bundle: copyBundle of the 1 GiB, 2,000-file
// bundle that backup_compare.sh prepares, into a fresh folder each time.
#include "core/Uuid.h"
#include "installer/BundleCopy.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>

namespace {

std::filesystem::path inputs() {
    const char* folder = std::getenv("KESTRYN_BENCH_BACKUP");
    return folder != nullptr ? folder : "/tmp/kestryn-bench-backup";
}

void copyBundle1GiB(benchmark::State& state) {
    const std::filesystem::path source = inputs() / "Sample.app";
    if (!std::filesystem::is_directory(source)) {
        state.SkipWithError("run bench/installer/backup_compare.sh to prepare the bundle");
        return;
    }
    std::filesystem::create_directories(inputs() / "out");
    for (auto _ : state) {
        CenterInstaller::copyBundle(source,
                                    inputs() / "out" / ("copy-" + CenterCore::newUUID() + ".app"));
    }
    state.SetBytesProcessed(state.iterations() * (1LL << 30));
}
BENCHMARK(copyBundle1GiB)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
