// The settings file and the two lists of imported packages, which a user or another program can
// leave in any state: reading them must end in values, the defaults or the user's sentence, and
// the catalog merged from the lists must still be drawn, never a crash. The lists are read in
// the model's order: a broken list of packages leaves the releases unread.
#include "core/CatalogJSON.h"
#include "core/ErrorText.h"
#include "core/FileContents.h"
#include "fuzz/ScratchFolder.h"
#include "model/CenterPreferences.h"
#include "model/CenterRules.h"
#include "model/LocalLists.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

// Writes the next piece of `input`, up to a NUL byte (which no JSON document holds) or its end.
void writePiece(std::string_view& input, const fs::path& file) {
    const std::string_view piece = input.substr(0, input.find('\0'));
    input.remove_prefix(std::min(input.size(), piece.size() + 1));
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(piece.data(), static_cast<std::streamsize>(piece.size()));
}

std::vector<CenterProduct> shippedProducts() {
    return CenterCore::decodeCatalog(
               CenterCore::readFileContents(KESTRYN_SHIPPED_CATALOG, 1024 * 1024))
        .products;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<CenterProduct> known = shippedProducts();
    static const ScratchFolder folder("kestryn-fuzz-local");
    const fs::path& support = folder.path();
    // The settings file, then the two lists, separated by NUL bytes.
    std::string_view input(reinterpret_cast<const char*>(data), size);
    writePiece(input, support / "settings.json");
    writePiece(input, support / LocalLists::packagesFile);
    writePiece(input, support / LocalLists::releasesFile);

    CenterPreferences preferences(support / "settings.json",
                                  {"https://kestryn.example/catalog.json", ""});
    static_cast<void>(preferences.keepBackups());
    static_cast<void>(preferences.centerFeedLine());

    CenterRules::LocalPackages packages;
    CenterRules::LocalReleases releases;
    try {
        packages = LocalLists::readPackages(support);
        releases = LocalLists::readReleases(support);
    } catch (...) {
        static_cast<void>(CenterCore::describeError(std::current_exception()));
    }
    // Every listed package counts as present, so an imported release takes a product's place.
    for (const CenterProduct& product : CenterRules::mergedCatalog(
             known, known, packages, releases, [](const fs::path&) { return true; })) {
        static_cast<void>(CenterRules::offerLine(product));
    }
    return 0;
}
