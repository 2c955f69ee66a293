#include "cli/Arguments.h"
#include "core/CatalogJSON.h"
#include "core/Digest.h"
#include "core/Validation.h"
#include "publisher/Verbs.h"

#include <iostream>

int artifactVerb(const Arguments& arguments) {
    std::filesystem::path file = arguments.positionals(1)[0];
    std::optional<ArtifactFormat> format =
        CenterCore::artifactFormat(arguments.value("--format").value_or("zip"));
    if (!format) {
        throw UsageError("--format must be zip, dmg or pkg");
    }
    ReleaseArtifact artifact{arguments.required("--url"), CenterCore::sha256(file),
                             static_cast<std::int64_t>(std::filesystem::file_size(file)), *format};
    CenterCore::validateArtifact(artifact);
    std::cout << CenterCore::toJSON(artifact).dump(2) << '\n';
    return 0;
}
