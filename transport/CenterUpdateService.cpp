#include "transport/CenterUpdateService.h"

#include "core/CancellationError.h"
#include "core/CatalogJSON.h"
#include "core/Digest.h"
#include "core/Envelope.h"
#include "core/FileContents.h"
#include "core/ScopedRemoval.h"
#include "core/Uuid.h"
#include "core/Validation.h"

#include <system_error>

CenterCatalog CenterUpdateService::fetchCatalog(const std::string& url,
                                                const std::string& publicKey,
                                                std::stop_token stop) const {
    CenterCore::validateHTTPS(url);
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kestryn-feed-" + CenterCore::newUUID());
    std::filesystem::create_directories(folder);
    ScopedRemoval removal(folder);

    std::filesystem::path envelope =
        CenterDownload::perform(url, folder / "catalog.json", CenterCore::maximumEnvelopeBytes,
                                std::nullopt, {}, stop, timeouts_);
    if (stop.stop_requested()) {
        throw CancellationError();
    }
    return CenterCore::verifyCatalog(
        CenterCore::readFileContents(envelope, CenterCore::maximumEnvelopeBytes), publicKey);
}

std::filesystem::path CenterUpdateService::download(const ReleaseArtifact& artifact,
                                                    const std::filesystem::path& folder,
                                                    const CenterDownload::Progress& progress,
                                                    std::stop_token stop) const {
    CenterCore::validateArtifact(artifact);
    std::filesystem::create_directories(folder);
    std::filesystem::path destination =
        folder / ("KESTRYN-" + CenterCore::newUUID() + "." +
                  std::string(CenterCore::rawValue(artifact.format)));

    // A failed transfer leaves nothing behind by itself; from here on the file is ours to
    // remove, and only ours: a name this call did not create is never touched.
    std::filesystem::path file =
        CenterDownload::perform(artifact.url, destination, artifact.byteCount, artifact.byteCount,
                                progress, stop, timeouts_);
    ScopedRemoval removal(file);
    if (stop.stop_requested()) {
        throw CancellationError();
    }
    CenterCore::verifyFile(file, artifact);
    removal.release();
    return file;
}
