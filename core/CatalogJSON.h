#pragma once

#include "core/Records.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

// Strict JSON form of the catalog records. Decoding throws nlohmann::json::exception for a
// missing member, a wrong type, an out-of-range integer or an unknown format; nothing is
// partially accepted. Encoding omits absent optionals.
namespace CenterCore {

[[nodiscard]] std::string_view rawValue(ArtifactFormat format);
[[nodiscard]] std::optional<ArtifactFormat> artifactFormat(std::string_view rawValue);

[[nodiscard]] CenterCatalog decodeCatalog(std::string_view document);
[[nodiscard]] CenterCatalog catalogFromJSON(const nlohmann::json& value);
[[nodiscard]] CenterProduct productFromJSON(const nlohmann::json& value);
[[nodiscard]] CenterRelease releaseFromJSON(const nlohmann::json& value);
[[nodiscard]] ReleaseArtifact artifactFromJSON(const nlohmann::json& value);

[[nodiscard]] nlohmann::json toJSON(const CenterCatalog& catalog);
[[nodiscard]] nlohmann::json toJSON(const CenterProduct& product);
[[nodiscard]] nlohmann::json toJSON(const CenterRelease& release);
[[nodiscard]] nlohmann::json toJSON(const ReleaseArtifact& artifact);

} // namespace CenterCore
