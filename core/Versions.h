#pragma once

#include "core/Records.h"

#include <compare>
#include <optional>
#include <string_view>

namespace CenterCore {

// A dotted decimal version: 1 to 128 bytes, every dot-separated piece one or more ASCII digits.
[[nodiscard]] bool isNumericVersion(std::string_view text);

// A version as an application may write it: 1 to 128 bytes of ASCII letters, digits, dots and
// hyphens, starting with a digit ("1.10.2", "2.0b1").
[[nodiscard]] bool isVersionText(std::string_view text);

// Numeric versions compare component by component at any length (1.2 == 1.2.0, 1.10 > 1.9);
// anything else compares without regard to case, with runs of digits taken as numbers.
[[nodiscard]] std::strong_ordering numericCompare(std::string_view left, std::string_view right);

// Compares by version, and by build only when the versions are the same.
[[nodiscard]] std::strong_ordering compareVersions(std::string_view version, std::string_view build,
                                                   std::string_view otherVersion,
                                                   std::string_view otherBuild);

// Whether the product lists a release that may be installed over what is there now.
[[nodiscard]] bool availableUpdate(const CenterProduct& product,
                                   const std::optional<InstalledApp>& installed);

} // namespace CenterCore
