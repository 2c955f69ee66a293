// The guarded download over loopback HTTPS against a bare libcurl transfer of the same file
// from the same server, both written to disk.
#include "core/CHandle.h"
#include "tests/support/HttpsServer.h"
#include "transport/CenterDownload.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <fstream>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr std::int64_t fileBytes = 256 * 1024 * 1024;

// One server and one source file for the whole run, and a reused output folder.
struct Setup {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "kestryn-bench-transport";
    std::filesystem::path source = folder / "source.bin";
    std::filesystem::path output = folder / "output.bin";
    HttpsServer server;

    Setup() {
        std::filesystem::create_directories(folder);
        if (!std::filesystem::exists(source) ||
            std::filesystem::file_size(source) != static_cast<std::uintmax_t>(fileBytes)) {
            std::ofstream out(source, std::ios::binary);
            std::mt19937_64 random(2026);
            std::vector<std::uint64_t> block(128 * 1024);
            for (std::int64_t written = 0; written < fileBytes;
                 written += static_cast<std::int64_t>(block.size() * sizeof(std::uint64_t))) {
                std::generate(block.begin(), block.end(), std::ref(random));
                out.write(reinterpret_cast<const char*>(block.data()),
                          static_cast<std::streamsize>(block.size() * sizeof(std::uint64_t)));
            }
        }
        server.route("/source.bin", HttpsResponse::fileContent(source));
        ::setenv("KESTRYN_CA_FILE", server.caFile().c_str(), 1);
    }
};

Setup& setup() {
    static Setup instance;
    return instance;
}

void guardedDownload(benchmark::State& state) {
    Setup& bench = setup();
    for (auto _ : state) {
        std::filesystem::remove(bench.output);
        benchmark::DoNotOptimize(CenterDownload::perform(
            bench.server.url("/source.bin"), bench.output, fileBytes, fileBytes, {}, {}));
    }
    state.SetBytesProcessed(state.iterations() * fileBytes);
}

void bareLibcurl(benchmark::State& state) {
    Setup& bench = setup();
    for (auto _ : state) {
        CHandle<std::fclose> out(std::fopen(bench.output.c_str(), "wb"));
        CHandle<curl_easy_cleanup> easy(curl_easy_init());
        std::string url = bench.server.url("/source.bin");
        curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy.get(), CURLOPT_CAINFO, bench.server.caFile().c_str());
        curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, out.get());
        if (curl_easy_perform(easy.get()) != CURLE_OK) {
            state.SkipWithError("transfer failed");
        }
    }
    state.SetBytesProcessed(state.iterations() * fileBytes);
}

} // namespace

BENCHMARK(guardedDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(bareLibcurl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_MAIN();
