#pragma once

#include "core/Records.h"
#include "transport/ArtifactRebuild.h"
#include "transport/CenterDownload.h"
#include "transport/DownloadTimeouts.h"

#include <filesystem>
#include <stop_token>
#include <string>

// The one way the center reaches the network for its products: the signed online catalog and
// release artifacts, each fetched with the guarded download and then proven. Each call is
// independent; both may run concurrently on worker threads.
class CenterUpdateService {
  public:
    // A service with the standard time-outs, or shorter ones where a caller needs them.
    explicit CenterUpdateService(DownloadTimeouts timeouts = {}) : timeouts_(timeouts) {}

    // The verified catalog at an HTTPS address, checked against the 32-byte raw Ed25519 key.
    // The envelope passes through a "kestryn-feed-" work folder in the temporary directory that
    // never outlives the call. Throws the errors of validation, the download and verification
    // unchanged, and CancellationError when stopped after the transfer.
    [[nodiscard]] CenterCatalog fetchCatalog(const std::string& url, const std::string& publicKey,
                                             std::stop_token stop = {}) const;

    // Downloads an artifact into `folder` (created when missing) as a new
    // "KESTRYN-<UUID>.<format>" file, proves its size and SHA-256, and returns its path. The
    // proof runs on a second thread while the file grows and ends right after the last byte.
    // Downloads of one artifact take turns, also across processes, and a file of an earlier
    // download that still proves (size, SHA-256) is returned instead of fetching it again.
    // A transfer that ends early keeps its bytes in the hidden partial file of the artifact,
    // which the next download of the same artifact resumes; any other failure leaves no file of
    // this call. Partial files older than 7 days are removed on the way.
    // With a `rebuild` and no partial file to resume, the rebuild writes the partial file first;
    // only when that fails or its file does not prove is the artifact fetched whole.
    [[nodiscard]] std::filesystem::path download(const ReleaseArtifact& artifact,
                                                 const std::filesystem::path& folder,
                                                 const CenterDownload::Progress& progress = {},
                                                 std::stop_token stop = {},
                                                 ArtifactRebuild* rebuild = nullptr) const;

    // The hidden file in `folder` that keeps an artifact's bytes between attempts.
    [[nodiscard]] static std::filesystem::path partialFile(const ReleaseArtifact& artifact,
                                                           const std::filesystem::path& folder);
    // Removes the artifact's partial file, once it is of no use (its release is installed),
    // unless a download of it runs right now.
    static void discardPartial(const ReleaseArtifact& artifact,
                               const std::filesystem::path& folder);

  private:
    DownloadTimeouts timeouts_;
};
