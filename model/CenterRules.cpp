#include "model/CenterRules.h"

#include "core/Registry.h"
#include "core/Versions.h"

#include <QString>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <set>

namespace CenterRules {
namespace {

bool isPreview(const CenterProduct& product) {
    return CenterCore::previewOnlyProductIDs().contains(product.id);
}

} // namespace

std::vector<CenterProduct>
mergedCatalog(const std::vector<CenterProduct>& given, const std::vector<CenterProduct>& known,
              const LocalPackages& packages, const LocalReleases& releases,
              const std::function<bool(const std::filesystem::path&)>& fileExists) {
    std::map<std::string, const CenterProduct*> byID;
    for (const CenterProduct& product : given) {
        byID.emplace(product.id, &product);
    }
    std::vector<CenterProduct> merged;
    merged.reserve(known.size());
    for (const CenterProduct& shipped : known) {
        auto found = byID.find(shipped.id);
        CenterProduct product = found != byID.end() ? *found->second : shipped;
        if (isPreview(product)) {
            product.release.reset();
        } else if (auto local = releases.find(product.id); local != releases.end()) {
            auto package = packages.find(product.id);
            if (package != packages.end() && fileExists(package->second.path) &&
                (!product.release || CenterCore::compareVersions(
                                         local->second.version, local->second.build,
                                         product.release->version, product.release->build) > 0)) {
                product.release = local->second;
            }
        }
        merged.push_back(std::move(product));
    }
    return merged;
}

bool matchesKnownProducts(const CenterCatalog& catalog, const std::vector<CenterProduct>& known) {
    std::map<std::string, std::string> bundleIDs;
    for (const CenterProduct& product : known) {
        bundleIDs.emplace(product.id, product.bundleID);
    }
    if (catalog.schemaVersion != 1 || catalog.products.empty() || bundleIDs.empty()) {
        return false;
    }
    std::set<std::string> seen;
    for (const CenterProduct& product : catalog.products) {
        auto found = bundleIDs.find(product.id);
        if (!seen.insert(product.id).second || found == bundleIDs.end() ||
            found->second != product.bundleID) {
            return false;
        }
    }
    return true;
}

std::string trimmed(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .trimmed()
        .toStdString();
}

std::string packageExtension(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    if (!extension.empty()) {
        extension.erase(0, 1);
    }
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string actionTitle(const CenterProduct& product, const std::optional<InstalledApp>& installed,
                        const std::optional<std::string>& busyProduct, double progress,
                        bool hasPackage) {
    if (isPreview(product)) {
        return "敬请期待";
    }
    if (busyProduct == product.id) {
        if (progress > 0 && progress < 1) {
            return std::to_string(static_cast<int>(std::trunc(progress * 100))) + "%";
        }
        return "处理中";
    }
    if (installed) {
        return CenterCore::availableUpdate(product, installed) ? "更新" : "打开";
    }
    return hasPackage ? "安装" : "获取软件";
}

std::string detailStatus(const CenterProduct& product,
                         const std::optional<InstalledApp>& installed) {
    if (isPreview(product)) {
        return "仅界面预览 · 敬请期待";
    }
    if (installed) {
        return "已安装 " + installed->version +
               (CenterCore::availableUpdate(product, installed) ? " · 可更新" : "");
    }
    return "尚未安装";
}

std::string offerLine(const CenterProduct& product) {
    if (!product.release) {
        return "";
    }
    const CenterRelease& release = *product.release;
    std::string line = "新版本 " + release.version + "（" + release.build + "）";
    if (release.artifact) {
        line += " · " + byteText(static_cast<std::uintmax_t>(release.artifact->byteCount));
    }
    return line;
}

std::string versionList(const std::string& version, const std::string& date,
                        const std::string& sourceLabel, const std::vector<CenterProduct>& products,
                        const std::map<std::string, InstalledApp>& installed) {
    std::string text = "KESTRYN 软件中心 " + version + "\n" + date + "\n" + sourceLabel + "\n";
    for (const CenterProduct& product : products) {
        auto copy = installed.find(product.id);
        text += "\nKESTRYN " + product.name + "：" +
                (copy != installed.end() ? copy->second.version + "（" + copy->second.build + "）"
                                         : std::string("未安装"));
    }
    return text;
}

std::string byteText(std::uintmax_t bytes) {
    if (bytes < 1000) {
        return std::to_string(bytes) + " 字节";
    }
    const char* const units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1000;
    std::size_t unit = 0;
    while (value >= 999.95 && unit + 1 < std::size(units)) {
        value /= 1000;
        ++unit;
    }
    // Digits made by hand: the user's locale must not turn the point into a comma.
    auto tenths = static_cast<std::uintmax_t>(std::llround(value * 10));
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + units[unit];
}

ProductStatus productStatus(const CenterProduct& product,
                            const std::optional<InstalledApp>& installed,
                            const std::optional<std::string>& busyProduct) {
    if (busyProduct == product.id) {
        return {"", "处理中"};
    }
    if (isPreview(product)) {
        return {"", "仅界面预览"};
    }
    if (installed && CenterCore::availableUpdate(product, installed)) {
        return {"arrow.down.circle", "有可用更新"};
    }
    if (installed) {
        return {"checkmark.circle", "已安装 " + installed->version};
    }
    return {"", "未安装"};
}

std::string requirementLine(const CenterProduct& product) {
    if (isPreview(product)) {
        return "界面预览 · 尚无安装版本";
    }
    return "Apple 芯片 · macOS " + product.minOS + " 或更新";
}

std::string iconName(const std::string& productID) {
    if (const CenterCore::RegisteredProduct* product = CenterCore::registeredProduct(productID)) {
        return std::string(product->iconName);
    }
    return productID == "repair" ? "video" : productID;
}

std::string fallbackSymbol(const std::string& productID) {
    const CenterCore::RegisteredProduct* product = CenterCore::registeredProduct(productID);
    return product ? std::string(product->fallbackSymbol) : "app.dashed";
}

} // namespace CenterRules
