#pragma once

#include "core/Records.h"
#include "transport/ArtifactRebuild.h"
#include "transport/DownloadTimeouts.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// A product's update fetched as a differential one: the new package rebuilt from an older
// package of the same product kept on disk and the ranges of the new one that changed, over one
// range session. The download then proves the rebuilt file as it proves a downloaded one.
class DifferentialUpdate final : public ArtifactRebuild {
  public:
    // What the rebuild will fetch against the whole package, once it is planned.
    using Planned = std::function<void(std::int64_t fetchBytes, std::int64_t packageBytes)>;
    // Why a rebuild failed: the user's sentence.
    using Failed = std::function<void(const std::string& reason)>;

    // Both callbacks run on the downloading thread.
    DifferentialUpdate(std::filesystem::path oldPackage, DownloadTimeouts timeouts, Planned planned,
                       Failed failed);

    // The recorded package the installed version came from while it is a ZIP on disk, otherwise
    // the package among the ZIPs of `folders` that holds the product's application, preferring
    // the installed version's and then the newest; nothing without one. The rebuilt file's
    // SHA-256 proves whatever was taken from it, so the recorded one is not read first.
    [[nodiscard]] static std::optional<std::filesystem::path>
    oldPackage(const std::optional<std::filesystem::path>& recorded,
               const std::vector<std::filesystem::path>& folders, const std::string& bundleID,
               const std::optional<InstalledApp>& installed);

    bool write(const ReleaseArtifact& artifact, const std::filesystem::path& file,
               const std::function<void(double)>& progress, std::stop_token stop) override;
    void fellBack(const std::string& reason) override;

    // "差分更新：需下载 12.3 MB（完整安装包 485.0 MB）"
    [[nodiscard]] static std::string savingLine(std::int64_t fetchBytes, std::int64_t packageBytes);
    // The status after a failed rebuild: its reason, then the full download.
    [[nodiscard]] static std::string fallBackLine(const std::string& reason);

  private:
    std::filesystem::path oldPackage_;
    DownloadTimeouts timeouts_;
    Planned planned_;
    Failed failed_;
};
