#include "model/DifferentialUpdate.h"

#include "core/FileMapping.h"
#include "core/Versions.h"
#include "installer/DifferentialPlan.h"
#include "installer/DifferentialRebuild.h"
#include "model/CenterRules.h"
#include "model/KeptPackages.h"
#include "transport/RangeSession.h"

#include <system_error>
#include <utility>

namespace {

namespace fs = std::filesystem;

// The bytes of `range`, appended to `bytes`.
void fetchInto(RangeSession& session, CenterInstaller::ByteRange range,
               std::vector<unsigned char>& bytes) {
    session.fetch(static_cast<std::int64_t>(range.offset), static_cast<std::int64_t>(range.length),
                  [&](std::span<const std::byte> chunk) {
                      const auto* data = reinterpret_cast<const unsigned char*>(chunk.data());
                      bytes.insert(bytes.end(), data, data + chunk.size());
                  });
}

} // namespace

DifferentialUpdate::DifferentialUpdate(fs::path oldPackage, DownloadTimeouts timeouts,
                                       Planned planned, Failed failed)
    : oldPackage_(std::move(oldPackage)), timeouts_(timeouts), planned_(std::move(planned)),
      failed_(std::move(failed)) {}

std::optional<fs::path>
DifferentialUpdate::oldPackage(const std::optional<fs::path>& recorded,
                               const std::vector<fs::path>& folders, const std::string& bundleID,
                               const std::optional<InstalledApp>& installed) {
    if (std::error_code error; recorded && recorded->extension() == ".zip" &&
                               !fs::is_symlink(*recorded, error) &&
                               fs::is_regular_file(*recorded, error)) {
        return recorded;
    }
    const auto isInstalled = [&](const InstalledApp& app) {
        return installed && app.version == installed->version && app.build == installed->build;
    };
    std::optional<InstalledApp> best;
    for (InstalledApp& packaged : keptPackages(folders, bundleID)) {
        if (!best || (isInstalled(packaged) && !isInstalled(*best)) ||
            (isInstalled(packaged) == isInstalled(*best) &&
             CenterCore::compareVersions(packaged.version, packaged.build, best->version,
                                         best->build) > 0)) {
            best = std::move(packaged);
        }
    }
    return best ? std::optional(best->url) : std::nullopt;
}

bool DifferentialUpdate::write(const ReleaseArtifact& artifact, const fs::path& file,
                               const std::function<void(double)>& progress, std::stop_token stop) {
    const CenterCore::FileMapping old(oldPackage_);
    const auto packageBytes = static_cast<std::uint64_t>(artifact.byteCount);
    // The planned pieces never fetch what the tail reads brought, so the whole session stays
    // within the package's size: never more than a full download.
    RangeSession session(artifact.url, artifact.byteCount, artifact.byteCount, stop, timeouts_);
    const CenterInstaller::ByteRange first = CenterInstaller::differentialTailRead(packageBytes);
    std::vector<unsigned char> tail;
    try {
        fetchInto(session, first, tail);
    } catch (const RangeError& refusal) {
        // A server without ranges: the full download is the only way, and nothing went wrong.
        if (refusal.kind() == RangeError::Kind::unsupported) {
            return false;
        }
        throw;
    }
    std::uint64_t tailOffset = first.offset;
    if (const CenterInstaller::ByteRange missing =
            CenterInstaller::differentialMissingTail(packageBytes, tailOffset, tail);
        missing.length > 0) {
        std::vector<unsigned char> front;
        fetchInto(session, missing, front);
        tail.insert(tail.begin(), front.begin(), front.end());
        tailOffset = missing.offset;
    }
    const CenterInstaller::DifferentialPlan plan =
        CenterInstaller::planDifferentialUpdate(old.bytes(), packageBytes, tailOffset, tail);
    if (plan.reusedBytes == 0) {
        return false;
    }
    const auto toFetch = static_cast<std::int64_t>(plan.fetchedBytes) + session.fetchedBytes();
    planned_(toFetch, artifact.byteCount);
    CenterInstaller::rebuildDifferentialUpdate(
        plan, old.bytes(),
        [&](CenterInstaller::ByteRange range, const CenterInstaller::DifferentialSink& sink) {
            session.fetch(
                static_cast<std::int64_t>(range.offset), static_cast<std::int64_t>(range.length),
                [&](std::span<const std::byte> chunk) {
                    sink({reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size()});
                    // Below 1.0 until the last byte is written: 1.0 starts the proof.
                    if (progress) {
                        progress(static_cast<double>(session.fetchedBytes()) /
                                 static_cast<double>(toFetch + 1));
                    }
                });
        },
        file, stop, [&old](std::span<const unsigned char> copied) { old.release(copied); });
    if (progress) {
        progress(1.0);
    }
    return true;
}

void DifferentialUpdate::fellBack(const std::string& reason) {
    failed_(reason);
}

std::string DifferentialUpdate::savingLine(std::int64_t fetchBytes, std::int64_t packageBytes) {
    return "差分更新：需下载 " + CenterRules::byteText(static_cast<std::uintmax_t>(fetchBytes)) +
           "（完整安装包 " + CenterRules::byteText(static_cast<std::uintmax_t>(packageBytes)) +
           "）";
}

std::string DifferentialUpdate::fallBackLine(const std::string& reason) {
    return "差分更新未能完成：" + reason + "现在下载完整安装包。";
}
