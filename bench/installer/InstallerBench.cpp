// Costs of the installer's ZIP paths on real packages: header inspection of a 65,534-entry
// package, and unpacking a 1 GiB, 2,000-file application. bench/installer/compare.sh writes the
// inputs (into $KESTRYN_BENCH_INPUTS) and runs the standard tools beside these.
#include "installer/Unpack.h"
#include "installer/ZipCentralDirectory.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

fs::path inputs() {
    const char* folder = std::getenv("KESTRYN_BENCH_INPUTS");
    return folder != nullptr ? fs::path(folder) : fs::path("/tmp/kestryn-bench-installer");
}

double peakMemoryMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void inspectZIP65534(benchmark::State& state) {
    const fs::path package = inputs() / "entries-65534.zip";
    if (!fs::exists(package)) {
        state.SkipWithError("no input: run bench/installer/compare.sh");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(CenterInstaller::inspectZIP(package));
    }
    state.counters["peak_rss_MiB"] = peakMemoryMiB();
}
BENCHMARK(inspectZIP65534)->Unit(benchmark::kMillisecond);

// Each pass unpacks into a fresh folder, as the installer's staging folder is; compare.sh
// removes them once every measurement is done.
void unpackZIP1GiB(benchmark::State& state) {
    const fs::path package = inputs() / "app-1GiB.zip";
    if (!fs::exists(package)) {
        state.SkipWithError("no input: run bench/installer/compare.sh");
        return;
    }
    const std::string prefix = "ours-" + std::to_string(::getpid()) + "-";
    int pass = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path staging = inputs() / "out" / (prefix + std::to_string(pass++));
        fs::create_directories(staging);
        state.ResumeTiming();
        CenterInstaller::unpackZIP(package, staging);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            (std::int64_t{1} << 30));
    state.counters["peak_rss_MiB"] = peakMemoryMiB();
}
BENCHMARK(unpackZIP1GiB)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
