#pragma once

#include <string>
#include <utility>
#include <vector>

// An Info.plist of the given keys, each with its value as property-list XML, then `more` entries
// as XML exactly as given.
inline std::string infoPlist(const std::vector<std::pair<std::string, std::string>>& entries,
                             const std::string& more = "") {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    for (const auto& [key, value] : entries) {
        text += "<key>" + key + "</key>" + value;
    }
    return text + more + "</dict></plist>\n";
}

inline std::string plistString(const std::string& text) {
    return "<string>" + text + "</string>";
}
