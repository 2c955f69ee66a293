#pragma once

#include "core/Records.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The model's decisions that depend on nothing but their inputs: which catalog is shown, which
// online catalog is accepted, what a product's button and state line say, the exported list.
namespace CenterRules {

// What proves a kept package's bytes unchanged: its size and SHA-256.
struct PackageProof {
    std::int64_t byteCount = 0;
    std::string sha256;

    friend bool operator==(const PackageProof&, const PackageProof&) = default;
};

// A product's package in the support folder: the imported one (in "Imported"), or the one its
// installed version came from; `proof` where it was recorded.
struct LocalPackage {
    std::string path;
    std::optional<PackageProof> proof;

    friend bool operator==(const LocalPackage&, const LocalPackage&) = default;
};

// The products' packages (product id → package) and the releases read from imported ones.
using LocalPackages = std::map<std::string, LocalPackage>;
using LocalReleases = std::map<std::string, CenterRelease>;

// The products to show: the known products in their order, each replaced by the given product
// of the same id, previews without release, and a newer imported release (whose package file
// still exists) in place of the product's own.
[[nodiscard]] std::vector<CenterProduct>
mergedCatalog(const std::vector<CenterProduct>& given, const std::vector<CenterProduct>& known,
              const LocalPackages& packages, const LocalReleases& releases,
              const std::function<bool(const std::filesystem::path&)>& fileExists);

// Whether an online catalog may replace the shown one: schema 1, at least one product, unique
// ids, and every product one of the known ones with its known bundle identifier.
[[nodiscard]] bool matchesKnownProducts(const CenterCatalog& catalog,
                                        const std::vector<CenterProduct>& known);

// The text without white space and line breaks at either end.
[[nodiscard]] std::string trimmed(std::string_view text);

// The file's extension without the dot, lower-cased: how a package's kind is told.
[[nodiscard]] std::string packageExtension(const std::filesystem::path& file);

// What the product's main button says.
[[nodiscard]] std::string actionTitle(const CenterProduct& product,
                                      const std::optional<InstalledApp>& installed,
                                      const std::optional<std::string>& busyProduct,
                                      double progress, bool hasPackage);

// The product's state line in its detail.
[[nodiscard]] std::string detailStatus(const CenterProduct& product,
                                       const std::optional<InstalledApp>& installed);

// What an update offers, on a line of its own: "新版本 2.0（2） · 419.0 MB", without the size
// when the release has no download; empty without a release.
[[nodiscard]] std::string offerLine(const CenterProduct& product);

// The exported version list: header, date, source, an empty line, then one line per product.
[[nodiscard]] std::string versionList(const std::string& version, const std::string& date,
                                      const std::string& sourceLabel,
                                      const std::vector<CenterProduct>& products,
                                      const std::map<std::string, InstalledApp>& installed);

// A size as the user reads it: "512 字节", "3.4 KB", "1.2 MB", "2.0 GB" (powers of 1,000).
[[nodiscard]] std::string byteText(std::uintmax_t bytes);

// A product's one-line state on its card or row: a symbol name (empty for none) and the text.
struct ProductStatus {
    std::string symbol;
    std::string text;
};

// The first that holds: being processed, a preview, an update available, installed, not
// installed.
[[nodiscard]] ProductStatus productStatus(const CenterProduct& product,
                                          const std::optional<InstalledApp>& installed,
                                          const std::optional<std::string>& busyProduct);

// What the product needs to run, or that it is a preview without an installable version.
[[nodiscard]] std::string requirementLine(const CenterProduct& product);

// The name of the product's icon resource (without ".png") and the symbol shown without it.
[[nodiscard]] std::string iconName(const std::string& productID);
[[nodiscard]] std::string fallbackSymbol(const std::string& productID);

} // namespace CenterRules
