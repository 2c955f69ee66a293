#include "transport/CenterUpdateService.h"

#include "core/CancellationError.h"
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/Digest.h"
#include "core/Envelope.h"
#include "core/ErrorText.h"
#include "core/FileContents.h"
#include "core/FileSystem.h"
#include "core/FolderLock.h"
#include "core/ScopedRemoval.h"
#include "core/Unicode.h"
#include "core/Uuid.h"
#include "core/Validation.h"
#include "transport/DownloadResume.h"
#include "transport/GrowingDigest.h"

#include <chrono>
#include <system_error>

CenterCatalog CenterUpdateService::fetchCatalog(const std::string& url,
                                                const std::string& publicKey,
                                                std::stop_token stop) const {
    CenterCore::validateHTTPS(url);
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kestryn-feed-" + CenterCore::newUUID());
    CenterCore::createDirectories(folder);
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
// The folder whose lock a download of one artifact holds while it runs.
const char* const lockPrefix = ".kestryn-lock-";
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

std::filesystem::path lockFolder(const ReleaseArtifact& artifact,
                                 const std::filesystem::path& folder) {
    return folder / (lockPrefix + CenterCore::lowercased(artifact.sha256));
}

// One transfer of an artifact at a time, across processes: a second download of the same
// artifact waits here for the first, then finds its proven file or resumes its partial one. The
// holder removes the lock folder before it lets go, so nothing stays behind; a waiter that then
// holds a folder no longer at the path starts over with a new one.
class ArtifactTurn {
  public:
    ArtifactTurn(const std::filesystem::path& folder, const std::stop_token& stop)
        : folder_(folder), lock_(hold(folder, stop)) {}
    ArtifactTurn(const ArtifactTurn&) = delete;
    ArtifactTurn& operator=(const ArtifactTurn&) = delete;
    ~ArtifactTurn() {
        std::error_code ignored;
        std::filesystem::remove(folder_, ignored);
    }

  private:
    static CenterCore::FolderLock hold(const std::filesystem::path& folder,
                                       const std::stop_token& stop) {
        for (;;) {
            CenterCore::createDirectories(folder);
            try {
                CenterCore::FolderLock lock = CenterCore::FolderLock::wait(folder, stop);
                if (lock.holds(folder)) {
                    return lock;
                }
            } catch (const std::filesystem::filesystem_error& failure) {
                // Removed by the run before this one between our creation and our lock.
                if (failure.code() != std::errc::no_such_file_or_directory) {
                    throw;
                }
            }
        }
    }

    std::filesystem::path folder_;
    CenterCore::FolderLock lock_;
};

// An earlier download of the artifact in the folder, proven again by size and SHA-256: the
// file may have changed since it was downloaded.
std::optional<std::filesystem::path> provenDownload(const ReleaseArtifact& artifact,
                                                    const std::filesystem::path& folder) {
    const std::string extension = "." + std::string(CenterCore::rawValue(artifact.format));
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code unreadable;
        if (!name.starts_with("KESTRYN-") || !name.ends_with(extension) ||
            it->is_symlink(unreadable) || !it->is_regular_file(unreadable) ||
            it->file_size(unreadable) != static_cast<std::uintmax_t>(artifact.byteCount)) {
            continue;
        }
        try {
            CenterCore::verifyFile(it->path(), artifact);
            return it->path();
        } catch (const CenterError&) {
            // Another file of that size.
        } catch (const std::filesystem::filesystem_error&) {
            // Gone or unreadable: not one to offer.
        }
    }
    return std::nullopt;
}

// The artifact as `rebuild` writes it into the partial file, proven by size and SHA-256 and
// moved to `destination`. Nothing when the rebuild cannot help or fails; the partial file is
// then gone again, so the full download starts from its first byte.
std::optional<std::filesystem::path>
rebuiltDownload(ArtifactRebuild& rebuild, const ReleaseArtifact& artifact,
                const std::filesystem::path& partial, const std::filesystem::path& destination,
                const CenterDownload::Progress& progress, const std::stop_token& stop) {
    ScopedRemoval removal(partial);
    try {
        if (!rebuild.write(artifact, partial, progress, stop)) {
            return std::nullopt;
        }
        CenterCore::verifyFile(partial, artifact);
        CenterCore::rename(partial, destination);
    } catch (...) {
        if (stop.stop_requested()) {
            throw CancellationError();
        }
        rebuild.fellBack(CenterCore::describeError(std::current_exception()));
        return std::nullopt;
    }
    removal.release();
    return destination;
}

} // namespace

std::filesystem::path CenterUpdateService::partialFile(const ReleaseArtifact& artifact,
                                                       const std::filesystem::path& folder) {
    return folder / (partialPrefix + CenterCore::lowercased(artifact.sha256));
}

void CenterUpdateService::discardPartial(const ReleaseArtifact& artifact,
                                         const std::filesystem::path& folder) {
    // A download of the same artifact in another run may be filling it right now; held
    // here, none starts until the files are gone.
    std::optional<CenterCore::FolderLock> turn;
    try {
        std::optional<CenterCore::FolderLock> lock =
            CenterCore::FolderLock::tryLock(lockFolder(artifact, folder));
        if (!lock) {
            return;
        }
        turn.emplace(std::move(*lock));
    } catch (const std::filesystem::filesystem_error&) {
        // No download of it runs.
    }
    const std::filesystem::path partial = partialFile(artifact, folder);
    removeQuietly(partial);
    removeQuietly(DownloadResume::validatorFile(partial));
}

std::filesystem::path CenterUpdateService::download(const ReleaseArtifact& artifact,
                                                    const std::filesystem::path& folder,
                                                    const CenterDownload::Progress& progress,
                                                    std::stop_token stop,
                                                    ArtifactRebuild* rebuild) const {
    CenterCore::validateArtifact(artifact);
    CenterCore::createDirectories(folder);
    removeStalePartials(folder);
    const ArtifactTurn turn(lockFolder(artifact, folder), stop);
    if (std::optional<std::filesystem::path> proven = provenDownload(artifact, folder)) {
        return *proven;
    }
    std::filesystem::path destination =
        folder / ("KESTRYN-" + CenterCore::newUUID() + "." +
                  std::string(CenterCore::rawValue(artifact.format)));
    // Bytes a full download kept with their validator are worth more than a rebuild; a partial
    // file without one (a rebuild that was cut short) cannot be resumed and is written anew.
    const std::filesystem::path partial = partialFile(artifact, folder);
    if (std::error_code absent;
        rebuild && !std::filesystem::exists(DownloadResume::validatorFile(partial), absent)) {
        if (std::optional<std::filesystem::path> rebuilt =
                rebuiltDownload(*rebuild, artifact, partial, destination, progress, stop)) {
            return *rebuilt;
        }
    }

    // A failed transfer leaves nothing behind by itself; from here on the file is ours to
    // remove, and only ours: a name this call did not create is never touched.
    GrowingDigest digest;
    std::filesystem::path file =
        CenterDownload::perform(artifact.url, destination, artifact.byteCount, artifact.byteCount,
                                progress, stop, timeouts_, {partial, &digest});
    ScopedRemoval removal(file);
    if (stop.stop_requested()) {
        throw CancellationError();
    }
    // The same proof as verifyFile: the exact size on disk, then the SHA-256 of those bytes.
    if (static_cast<std::int64_t>(CenterCore::fileSize(file)) != artifact.byteCount ||
        digest.finish(artifact.byteCount) != CenterCore::lowercased(artifact.sha256)) {
        throw CenterError::checksum();
    }
    removal.release();
    return file;
}
