#include "model/LocalLists.h"

#include "core/AtomicFile.h"
#include "core/CatalogJSON.h"
#include "core/FileContents.h"
#include "core/FileOperationError.h"

#include <nlohmann/json.hpp>
#include <system_error>

namespace LocalLists {
namespace {

namespace fs = std::filesystem;

// Far beyond six entries; a larger file is not one of these lists.
constexpr std::size_t maximumListBytes = 8 * 1024 * 1024;

// The list's JSON object, or nothing when the file does not exist.
std::optional<nlohmann::json> readObject(const fs::path& file) {
    std::error_code missing;
    if (!fs::exists(fs::symlink_status(file, missing))) {
        return std::nullopt;
    }
    std::string text = CenterCore::readFileContents(file, maximumListBytes);
    if (text.size() > maximumListBytes) {
        throw CenterCore::FileOperationError(CenterCore::FileOperation::Inspect, file,
                                             std::make_error_code(std::errc::file_too_large));
    }
    nlohmann::json document = nlohmann::json::parse(text);
    if (!document.is_object()) {
        throw nlohmann::json::type_error::create(302, "the list is not an object", &document);
    }
    return document;
}

// A package as written now, {"path", "byteCount", "sha256"}, or as its path alone.
CenterRules::LocalPackage packageFromJSON(const nlohmann::json& value) {
    if (value.is_string()) {
        return {value.get<std::string>(), std::nullopt};
    }
    CenterRules::LocalPackage package{value.at("path").get<std::string>(), std::nullopt};
    if (value.contains("byteCount") && value.contains("sha256")) {
        package.proof = {value.at("byteCount").get<std::int64_t>(),
                         value.at("sha256").get<std::string>()};
    }
    return package;
}

} // namespace

CenterRules::LocalPackages readPackages(const fs::path& support) {
    CenterRules::LocalPackages list;
    if (std::optional<nlohmann::json> document = readObject(support / packagesFile)) {
        for (const auto& [id, package] : document->items()) {
            list.emplace(id, packageFromJSON(package));
        }
    }
    return list;
}

CenterRules::LocalReleases readReleases(const fs::path& support) {
    CenterRules::LocalReleases list;
    if (std::optional<nlohmann::json> document = readObject(support / releasesFile)) {
        for (const auto& [id, release] : document->items()) {
            list.emplace(id, CenterCore::releaseFromJSON(release));
        }
    }
    return list;
}

void writePackages(const fs::path& support, const CenterRules::LocalPackages& list) {
    nlohmann::json document = nlohmann::json::object();
    for (const auto& [id, package] : list) {
        nlohmann::json& entry = document[id];
        entry["path"] = package.path;
        if (package.proof) {
            entry["byteCount"] = package.proof->byteCount;
            entry["sha256"] = package.proof->sha256;
        }
    }
    AtomicFile::write(support / packagesFile, document.dump());
}

void writeReleases(const fs::path& support, const CenterRules::LocalReleases& list) {
    nlohmann::json document = nlohmann::json::object();
    for (const auto& [id, release] : list) {
        CenterRelease recorded = release;
        recorded.artifact.reset();
        document[id] = CenterCore::toJSON(recorded);
    }
    AtomicFile::write(support / releasesFile, document.dump());
}

} // namespace LocalLists
