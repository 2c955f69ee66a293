#pragma once

#include "core/Records.h"

#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>

namespace CenterCore {

// One of the six products the center manages, with every fact about it the center keeps.
struct RegisteredProduct {
    std::string_view id;
    // The bundle identifier its application carries.
    std::string_view bundleID;
    // The name its pages and messages use.
    std::string_view name;
    // The icon resource, without ".png", and the symbol shown when that resource is missing.
    std::string_view iconName;
    std::string_view fallbackSymbol = "app.dashed";
    // Shown as an interface preview only; never installed or updated.
    bool previewOnly = false;
    // Shown on the all page's own card instead of in the grid.
    bool featured = false;
    // For the plug-in product: the host application that must not run while the plug-in's
    // package, which is opened rather than installed, does its work. Empty for the others.
    std::string_view plugInHostBundleID = {};
    // The product the feedback page shows first.
    bool firstFeedbackChoice = false;
};

// The six products, in the order of the shipped catalog.
[[nodiscard]] std::span<const RegisteredProduct> registeredProducts();

// The registered product with exactly this id; nothing for any other id.
[[nodiscard]] const RegisteredProduct* registeredProduct(std::string_view id);

// The products holding the role; each role has exactly one.
[[nodiscard]] const RegisteredProduct& featuredProduct();
[[nodiscard]] const RegisteredProduct& firstFeedbackProduct();

// The plug-in product when the product is it, by its id or by its application's bundle
// identifier: its packages are opened rather than installed. Nothing for every other product.
[[nodiscard]] const RegisteredProduct* plugInProduct(const CenterProduct& product);

// Each product id with the bundle identifier its application carries.
[[nodiscard]] const std::map<std::string, std::string>& productBundleIDs();

// The ids of the preview-only products.
[[nodiscard]] const std::set<std::string>& previewOnlyProductIDs();

// Whether the product's id is registered with exactly its bundle identifier.
[[nodiscard]] bool isRegistered(const CenterProduct& product);

// Throws CenterError::invalid at the first product of the catalog that is not registered.
void validateRegistered(const CenterCatalog& catalog);

} // namespace CenterCore
