#pragma once

#include "core/Records.h"
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
    // "KESTRYN-<UUID>.<format>" file, proves its size and SHA-256, and returns its path. On any
    // failure no file of this call remains; the folder does.
    [[nodiscard]] std::filesystem::path download(const ReleaseArtifact& artifact,
                                                 const std::filesystem::path& folder,
                                                 const CenterDownload::Progress& progress = {},
                                                 std::stop_token stop = {}) const;

  private:
    DownloadTimeouts timeouts_;
};
