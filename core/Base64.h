#pragma once

#include <optional>
#include <string>
#include <string_view>

// Standard base64 (RFC 4648 alphabet, with padding).
namespace CenterCore {

// Nothing unless the text is canonical base64: length a multiple of four, padding only at the
// end, no white space or other characters.
[[nodiscard]] std::optional<std::string> base64Decode(std::string_view text);

[[nodiscard]] std::string base64Encode(std::string_view bytes);

} // namespace CenterCore
