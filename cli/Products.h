#pragma once

#include "core/Records.h"

#include <string>

// The registered product ids as a sentence, for help and for a product that is none of them:
// "可用的产品：audio、effects、…。"
[[nodiscard]] std::string productChoices();

// The product of the shipped catalog with this id; bad usage, naming the choices, for any other.
[[nodiscard]] CenterProduct shippedProduct(const std::string& id);
