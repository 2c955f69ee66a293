#pragma once

#include "core/Records.h"

#include <map>
#include <set>
#include <string>

namespace CenterCore {

// The six products the center manages, each with the bundle identifier its application carries.
[[nodiscard]] const std::map<std::string, std::string>& productBundleIDs();

// Products shown as interface previews only; never installed or updated.
[[nodiscard]] const std::set<std::string>& previewOnlyProductIDs();

// Whether the product's id is registered with exactly its bundle identifier.
[[nodiscard]] bool isRegistered(const CenterProduct& product);

// Throws CenterError::invalid at the first product of the catalog that is not registered.
void validateRegistered(const CenterCatalog& catalog);

} // namespace CenterCore
