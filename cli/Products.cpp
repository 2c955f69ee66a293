#include "cli/Products.h"

#include "cli/CatalogFile.h"
#include "core/Registry.h"
#include "core/Resources.h"

#include <algorithm>

std::string productChoices() {
    std::string text = "可用的产品：";
    bool first = true;
    for (const auto& [id, bundleID] : CenterCore::productBundleIDs()) {
        text += (first ? "" : "、") + id;
        first = false;
    }
    return text + "。";
}

UsageError notAProduct(const std::string& id) {
    return UsageError("“" + id + "”不是软件中心的产品。" + productChoices());
}

CenterProduct shippedProduct(const std::string& id) {
    if (CenterCore::productBundleIDs().contains(id)) {
        CenterCatalog catalog = readCatalogFile(CenterCore::resourcesDirectory() / "Catalog.json");
        auto found = std::find_if(catalog.products.begin(), catalog.products.end(),
                                  [&](const CenterProduct& product) { return product.id == id; });
        if (found != catalog.products.end()) {
            return *found;
        }
    }
    throw notAProduct(id);
}
