#pragma once

#include "cli/Arguments.h"
#include "core/Records.h"

#include <string>

// The registered product ids as a sentence, for help and for a product that is none of them:
// "可用的产品：audio、effects、…。"
[[nodiscard]] std::string productChoices();

// Bad usage for an id that names no product, with the choices there are.
[[nodiscard]] UsageError notAProduct(const std::string& id);

// The product of the shipped catalog with this id; bad usage, naming the choices, for any other.
[[nodiscard]] CenterProduct shippedProduct(const std::string& id);
