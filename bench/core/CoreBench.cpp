// Costs of the catalog core's hot paths: version comparison, catalog validation, envelope
// verification and the periodic re-detection of installed copies.
#include "core/Base64.h"
#include "core/CatalogJSON.h"
#include "core/Detection.h"
#include "core/Envelope.h"
#include "core/Registry.h"
#include "core/Validation.h"
#include "core/Versions.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <openssl/evp.h>
#include <plist/plist.h>

namespace {

CenterProduct sampleProduct(std::string id, std::string bundleID) {
    ReleaseArtifact artifact{"https://downloads.example.com/" + id + ".zip", std::string(64, 'a'),
                             1 << 20, ArtifactFormat::zip};
    return {std::move(id),
            std::move(bundleID),
            "回响工坊",
            "音频",
            "summary",
            "detail",
            {"a", "b"},
            "13.0",
            CenterRelease{"1.2.3", "456", "2026", {"note"}, artifact}};
}

void numericCompare(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(CenterCore::numericCompare("10.15.7", "10.15.10"));
        benchmark::DoNotOptimize(CenterCore::numericCompare("1.2-beta", "1.2-BETA"));
    }
}
BENCHMARK(numericCompare);

void validateCatalog100(benchmark::State& state) {
    CenterCatalog catalog{1, "now", {}};
    for (int i = 0; i < 100; ++i) {
        // Appended rather than concatenated: GCC 12 warns falsely (-Wrestrict) on "p" + string.
        std::string id = std::to_string(i);
        id.insert(0, "p");
        catalog.products.push_back(sampleProduct(id, "com.example." + id));
    }
    for (auto _ : state) {
        CenterCore::validateCatalog(catalog);
    }
}
BENCHMARK(validateCatalog100);

void verifyCatalog1MiB(benchmark::State& state) {
    CenterCatalog catalog{1, "now", {}};
    for (const auto& [id, bundleID] : CenterCore::productBundleIDs()) {
        CenterProduct product = sampleProduct(id, bundleID);
        product.detail = std::string(170 * 1024, 'x');
        if (CenterCore::previewOnlyProductIDs().contains(id)) {
            product.release.reset();
        }
        catalog.products.push_back(product);
    }
    std::string payload = CenterCore::toJSON(catalog).dump();

    EVP_PKEY* key = nullptr;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
    EVP_PKEY_keygen_init(context);
    EVP_PKEY_keygen(context, &key);
    EVP_PKEY_CTX_free(context);
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    EVP_MD_CTX* signing = EVP_MD_CTX_new();
    EVP_DigestSignInit(signing, nullptr, nullptr, nullptr, key);
    EVP_DigestSign(signing, reinterpret_cast<unsigned char*>(signature.data()), &length,
                   reinterpret_cast<const unsigned char*>(payload.data()), payload.size());
    EVP_MD_CTX_free(signing);
    std::string publicKey(32, '\0');
    length = publicKey.size();
    EVP_PKEY_get_raw_public_key(key, reinterpret_cast<unsigned char*>(publicKey.data()), &length);
    EVP_PKEY_free(key);

    std::string envelope = nlohmann::json{{"payload", CenterCore::base64Encode(payload)},
                                          {"signature", CenterCore::base64Encode(signature)}}
                               .dump();
    for (auto _ : state) {
        benchmark::DoNotOptimize(CenterCore::verifyCatalog(envelope, publicKey));
    }
    state.counters["envelopeBytes"] = static_cast<double>(envelope.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * envelope.size()));
}
BENCHMARK(verifyCatalog1MiB)->Unit(benchmark::kMillisecond);

// 500 bundles, none of them a product, made once and reused.
std::filesystem::path fiveHundredBundles() {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "kestryn-bench-apps";
    if (!std::filesystem::exists(folder / "App499.app")) {
        for (int i = 0; i < 500; ++i) {
            std::filesystem::path contents =
                folder / ("App" + std::to_string(i) + ".app") / "Contents";
            std::filesystem::create_directories(contents);
            plist_t dict = plist_new_dict();
            plist_dict_set_item(dict, "CFBundleIdentifier",
                                plist_new_string(("com.example.app" + std::to_string(i)).c_str()));
            plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string("1.0"));
            plist_dict_set_item(dict, "CFBundleVersion", plist_new_string("1"));
            char* xml = nullptr;
            uint32_t size = 0;
            plist_to_xml(dict, &xml, &size);
            std::ofstream(contents / "Info.plist").write(xml, size);
            free(xml);
            plist_free(dict);
        }
    }
    return folder;
}

std::vector<CenterProduct> sixProducts() {
    std::vector<CenterProduct> products;
    for (const auto& [id, bundleID] : CenterCore::productBundleIDs()) {
        products.push_back(sampleProduct(id, bundleID));
    }
    return products;
}

// Six products looked up among 500 bundles one product at a time.
void detectSixOver500Bundles(benchmark::State& state) {
    const std::filesystem::path folder = fiveHundredBundles();
    const std::vector<CenterProduct> products = sixProducts();
    for (auto _ : state) {
        for (const CenterProduct& product : products) {
            benchmark::DoNotOptimize(CenterCore::detectInstalled(product, {folder}));
        }
    }
}
BENCHMARK(detectSixOver500Bundles)->Unit(benchmark::kMillisecond);

// The same in the one pass the center makes every 15 seconds.
void detectAllSixInOnePassOver500Bundles(benchmark::State& state) {
    const std::filesystem::path folder = fiveHundredBundles();
    const std::vector<CenterProduct> products = sixProducts();
    for (auto _ : state) {
        benchmark::DoNotOptimize(CenterCore::detectAllInstalled(products, {folder}));
    }
}
BENCHMARK(detectAllSixInOnePassOver500Bundles)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
