#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Unicode text operations on UTF-8, backed by ICU.
namespace CenterCore {

// Canonical composition (NFC); text that is not valid UTF-8 is returned unchanged.
[[nodiscard]] std::string nfc(std::string_view text);

// Full Unicode lower-casing, locale-independent.
[[nodiscard]] std::string lowercased(std::string_view text);

// The number of user-perceived characters (extended grapheme clusters).
[[nodiscard]] std::size_t graphemeCount(std::string_view text);

// Whether the bytes are well-formed UTF-8 without surrogates or overlong forms.
[[nodiscard]] bool isValidUTF8(std::string_view bytes);

} // namespace CenterCore
