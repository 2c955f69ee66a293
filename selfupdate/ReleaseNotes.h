#pragma once

#include <string>
#include <string_view>

// Release notes shown to the user as plain text, never rendered as markup.
namespace ReleaseNotes {

// The text of an HTML fragment or plain text: tags dropped (line breaks where blocks end,
// "• " before list entries), the content of script and style dropped, character references
// decoded, blank runs collapsed, and at most `maximumCharacters` code points kept (then "……").
[[nodiscard]] std::string plainText(std::string_view markup, std::size_t maximumCharacters = 2000);

} // namespace ReleaseNotes
