#include "cli/Arguments.h"
#include "core/CatalogJSON.h"
#include "core/Digest.h"
#include "core/FileContents.h"
#include "core/FileSystem.h"
#include "core/Validation.h"
#include "publisher/Verbs.h"

#include <iostream>

int artifactVerb(const Arguments& arguments) {
    std::filesystem::path file = arguments.positionals(1)[0];
    std::optional<ArtifactFormat> format =
        CenterCore::artifactFormat(arguments.value("--format").value_or("zip"));
    if (!format) {
        throw UsageError("--format 只能是 zip、dmg 或 pkg。");
    }
    const std::string url = arguments.required("--url");
    // The address and the size are settled before a file of up to 20 GiB is read for its digest.
    CenterCore::validateHTTPS(url);
    static_cast<void>(CenterCore::openRegularFile(file));
    const auto size = static_cast<std::int64_t>(CenterCore::fileSize(file));
    CenterCore::validateArtifactSize(size);
    ReleaseArtifact artifact{url, CenterCore::sha256(file), size, *format};
    CenterCore::validateArtifact(artifact);
    std::cout << CenterCore::toJSON(artifact).dump(2) << '\n';
    return 0;
}
