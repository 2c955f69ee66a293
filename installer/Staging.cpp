#include "installer/Staging.h"

#include "core/Base64.h"

#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

namespace CenterInstaller {
namespace Staging {
namespace {

namespace fs = std::filesystem;

bool isBundleName(const std::string& name) {
    return name.size() > 4 && name.ends_with(".app") && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && !name.starts_with('.');
}

} // namespace

std::string encode(const Record& record) {
    nlohmann::json attributes = nlohmann::json::object();
    for (const auto& [name, value] : record.folderAttributes) {
        attributes[name] = CenterCore::base64Encode(value);
    }
    return nlohmann::json{{"bundle", record.bundleName}, {"folderAttributes", attributes}}.dump();
}

std::optional<Record> decode(std::string_view text) {
    nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    if (!document.is_object() || !document.contains("bundle") || !document["bundle"].is_string() ||
        !document.contains("folderAttributes") || !document["folderAttributes"].is_object()) {
        return std::nullopt;
    }
    Record record{document["bundle"].get<std::string>(), {}};
    if (!isBundleName(record.bundleName)) {
        return std::nullopt;
    }
    for (const auto& [name, value] : document["folderAttributes"].items()) {
        std::optional<std::string> bytes =
            value.is_string() ? CenterCore::base64Decode(value.get<std::string>()) : std::nullopt;
        if (!bytes) {
            return std::nullopt;
        }
        record.folderAttributes.emplace(name, std::move(*bytes));
    }
    return record;
}

void remove(const fs::path& folder, InstallOperations& operations) {
    try {
        operations.remove(folder / recordName);
        std::vector<fs::path> items;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            items.push_back(it->path());
        }
        for (const fs::path& item : items) {
            operations.remove(item);
        }
        operations.remove(folder);
    } catch (...) {
        // A staging folder that cannot be removed now is removed by the next recovery.
    }
}

} // namespace Staging

} // namespace CenterInstaller
