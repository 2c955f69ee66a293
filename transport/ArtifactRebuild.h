#pragma once

#include "core/Records.h"

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

// Another way to obtain an artifact than fetching it whole: a differential update rebuilds the
// package from an older one and the few ranges that changed. The download proves what it wrote
// exactly as a downloaded file.
class ArtifactRebuild {
  public:
    virtual ~ArtifactRebuild() = default;

    // Writes the artifact's bytes into `file`, which does not exist yet. Returns false when a
    // rebuild cannot help (no old package, a server without ranges, nothing reusable) and the
    // full download should simply follow. Throws CancellationError when stopped; any other
    // error means the rebuild failed and the full download follows after fellBack().
    virtual bool write(const ReleaseArtifact& artifact, const std::filesystem::path& file,
                       const std::function<void(double)>& progress, std::stop_token stop) = 0;

    // The rebuild failed or its file did not prove, for this reason (the user's sentence); the
    // full download follows.
    virtual void fellBack(const std::string& reason) = 0;
};
