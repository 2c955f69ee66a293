#include "core/Registry.h"

#include "core/CenterError.h"

#include <algorithm>
#include <array>

namespace CenterCore {
namespace {

constexpr std::array<RegisteredProduct, 6> products = {{
    {.id = "film",
     .bundleID = "com.kestryn.film",
     .name = "澄光工坊",
     .iconName = "film",
     .featured = true,
     .plugInHostBundleID = "com.apple.FinalCut",
     .firstFeedbackChoice = true},
    {.id = "subtitle",
     .bundleID = "local.captionlink.workflow",
     .name = "行文工坊",
     .iconName = "subtitle"},
    {.id = "audio", .bundleID = "local.soundlink", .name = "回响工坊", .iconName = "audio"},
    {.id = "library",
     .bundleID = "local.tavelo.asset-library",
     .name = "藏集工坊",
     .iconName = "library"},
    {.id = "video",
     .bundleID = "com.kestryn.video-assistant.preview",
     .name = "动帧工坊",
     .iconName = "video"},
    {.id = "effects",
     .bundleID = "com.kestryn.effects.preview",
     .name = "幻彩工坊",
     .iconName = "effects",
     .fallbackSymbol = "sparkles",
     .previewOnly = true},
}};

// Each role belongs to exactly one product.
constexpr bool heldOnce(auto&& role) {
    return std::ranges::count_if(products, role) == 1;
}
static_assert(heldOnce(&RegisteredProduct::featured));
static_assert(heldOnce(&RegisteredProduct::firstFeedbackChoice));
static_assert(heldOnce([](const RegisteredProduct& product) {
    return !product.plugInHostBundleID.empty();
}));

const RegisteredProduct& holding(bool RegisteredProduct::*role) {
    return *std::ranges::find_if(products, [role](const auto& product) { return product.*role; });
}

} // namespace

std::span<const RegisteredProduct> registeredProducts() {
    return products;
}

const RegisteredProduct* registeredProduct(std::string_view id) {
    auto found = std::ranges::find(products, id, &RegisteredProduct::id);
    return found != products.end() ? &*found : nullptr;
}

const RegisteredProduct& featuredProduct() {
    return holding(&RegisteredProduct::featured);
}

const RegisteredProduct& firstFeedbackProduct() {
    return holding(&RegisteredProduct::firstFeedbackChoice);
}

const RegisteredProduct* plugInProduct(const CenterProduct& product) {
    auto found = std::ranges::find_if(products, [&](const RegisteredProduct& registered) {
        return !registered.plugInHostBundleID.empty() &&
               (registered.id == product.id || registered.bundleID == product.bundleID);
    });
    return found != products.end() ? &*found : nullptr;
}

const std::map<std::string, std::string>& productBundleIDs() {
    static const std::map<std::string, std::string> table = [] {
        std::map<std::string, std::string> ids;
        for (const RegisteredProduct& product : products) {
            ids.emplace(product.id, product.bundleID);
        }
        return ids;
    }();
    return table;
}

const std::set<std::string>& previewOnlyProductIDs() {
    static const std::set<std::string> ids = [] {
        std::set<std::string> previews;
        for (const RegisteredProduct& product : products) {
            if (product.previewOnly) {
                previews.emplace(product.id);
            }
        }
        return previews;
    }();
    return ids;
}

bool isRegistered(const CenterProduct& product) {
    const RegisteredProduct* registered = registeredProduct(product.id);
    return registered && registered->bundleID == product.bundleID;
}

void validateRegistered(const CenterCatalog& catalog) {
    for (const CenterProduct& product : catalog.products) {
        if (!isRegistered(product)) {
            throw CenterError::invalid("发布清单包含未授权的软件标识。");
        }
    }
}

} // namespace CenterCore
