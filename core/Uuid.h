#pragma once

#include <string>

namespace CenterCore {

// A fresh random (version 4) UUID in upper-case hyphenated form, as used in every temporary,
// staging and backup name.
[[nodiscard]] std::string newUUID();

} // namespace CenterCore
