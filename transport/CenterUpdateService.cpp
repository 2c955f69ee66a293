#include "transport/CenterUpdateService.h"

#include "core/CancellationError.h"
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/Digest.h"
#include "core/Envelope.h"
#include "core/FileContents.h"
#include "core/ScopedRemoval.h"
#include "core/Unicode.h"
#include "core/Uuid.h"
#include "core/Validation.h"
#include "transport/GrowingDigest.h"

#include <chrono>
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

namespace {

const char* const partialPrefix = ".kestryn-partial-";
constexpr auto partialLifetime = std::chrono::hours(7 * 24);

void removeQuietly(const std::filesystem::path& file) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

// Removes the partial files (and their validators) nobody has touched for 7 days.
void removeStalePartials(const std::filesystem::path& folder) {
    const auto now = std::filesystem::file_time_type::clock::now();
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code unreadable;
        if (it->path().filename().string().starts_with(partialPrefix) &&
            it->is_regular_file(unreadable) &&
            now - it->last_write_time(unreadable) > partialLifetime && !unreadable) {
            removeQuietly(it->path());
        }
    }
}

} // namespace

std::filesystem::path CenterUpdateService::partialFile(const ReleaseArtifact& artifact,
                                                       const std::filesystem::path& folder) {
    return folder / (partialPrefix + CenterCore::lowercased(artifact.sha256));
}

void CenterUpdateService::discardPartial(const ReleaseArtifact& artifact,
                                         const std::filesystem::path& folder) {
    const std::filesystem::path partial = partialFile(artifact, folder);
    removeQuietly(partial);
    removeQuietly(CenterDownload::validatorFile(partial));
}

std::filesystem::path CenterUpdateService::download(const ReleaseArtifact& artifact,
                                                    const std::filesystem::path& folder,
                                                    const CenterDownload::Progress& progress,
                                                    std::stop_token stop) const {
    CenterCore::validateArtifact(artifact);
    std::filesystem::create_directories(folder);
    removeStalePartials(folder);
    std::filesystem::path destination =
        folder / ("KESTRYN-" + CenterCore::newUUID() + "." +
                  std::string(CenterCore::rawValue(artifact.format)));

    // A failed transfer leaves nothing behind by itself; from here on the file is ours to
    // remove, and only ours: a name this call did not create is never touched.
    GrowingDigest digest;
    std::filesystem::path file = CenterDownload::perform(
        artifact.url, destination, artifact.byteCount, artifact.byteCount, progress, stop,
        timeouts_, {partialFile(artifact, folder), &digest});
    ScopedRemoval removal(file);
    if (stop.stop_requested()) {
        throw CancellationError();
    }
    // The same proof as verifyFile: the exact size on disk, then the SHA-256 of those bytes.
    if (static_cast<std::int64_t>(std::filesystem::file_size(file)) != artifact.byteCount ||
        digest.finish(artifact.byteCount) != CenterCore::lowercased(artifact.sha256)) {
        throw CenterError::checksum();
    }
    removal.release();
    return file;
}
