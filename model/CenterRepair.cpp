#include "model/CenterRepair.h"

#include "core/CenterError.h"
#include "core/Digest.h"
#include "core/FileSystem.h"
#include "installer/Backups.h"
#include "installer/Install.h"
#include "installer/PackagedApp.h"
#include "model/CenterIntegrity.h"
#include "model/CenterUIError.h"
#include "model/KeptPackages.h"

#include <system_error>
#include <utility>

namespace CenterRepair {
namespace {

namespace fs = std::filesystem;

// Whether the file still has the recorded size and SHA-256; an unreadable one has not.
bool isProven(const fs::path& file, const CenterRules::PackageProof& proof) {
    try {
        CenterCore::verifyFile(file, {"", proof.sha256, proof.byteCount, ArtifactFormat::zip});
        return true;
    } catch (const CenterError&) {
        return false;
    } catch (const fs::filesystem_error&) {
        return false;
    }
}

// The file's size and SHA-256 as they are now, or nothing when it cannot be read.
std::optional<CenterRules::PackageProof> proofOf(const fs::path& file) {
    try {
        return CenterRules::PackageProof{static_cast<std::int64_t>(CenterCore::fileSize(file)),
                                         CenterCore::sha256(file)};
    } catch (const fs::filesystem_error&) {
        return std::nullopt;
    }
}

} // namespace

Result run(const CenterProduct& product, const InstalledApp& copy,
           const std::optional<CenterRules::LocalPackage>& recorded, const fs::path& support,
           const CenterInstaller::RunningCheck& running, std::stop_token stop) {
    const fs::path folder = copy.url.parent_path();
    const fs::path backups = support / "Backups";
    const auto sameVersion = [&copy](const std::string& version, const std::string& build) {
        return version == copy.version && build == copy.build;
    };
    const auto reinstallFrom = [&](const fs::path& zip) {
        return CenterInstaller::reinstall(
            zip, product, {copy.version, copy.build, "", {}, std::nullopt}, folder, backups,
            running, CenterInstaller::systemOperations(), stop);
    };
    std::optional<fs::path> refused;
    // A proven record of another version (an import not installed yet) stays what it is.
    bool keepRecord = false;
    if (std::error_code absent; recorded && recorded->proof && fs::exists(recorded->path, absent)) {
        if (!isProven(recorded->path, *recorded->proof)) {
            refused = fs::path(recorded->path).lexically_normal();
        } else if (std::optional<InstalledApp> packaged =
                       CenterInstaller::readPackagedApp(recorded->path);
                   packaged && packaged->bundleID == product.bundleID &&
                   sameVersion(packaged->version, packaged->build)) {
            return {reinstallFrom(recorded->path), std::nullopt, false};
        } else {
            keepRecord = true;
        }
    }
    for (const CenterInstaller::Backups::Backup& backup :
         CenterInstaller::Backups::list(backups, product)) {
        if (sameVersion(backup.version, backup.build) &&
            CenterIntegrity::check(
                {product, {backup.path, backup.version, backup.build, product.bundleID}})
                .intact) {
            return {CenterInstaller::restore(backup.path, product, folder, backups, running,
                                             CenterInstaller::systemOperations(), stop),
                    std::nullopt, refused.has_value()};
        }
    }
    for (const InstalledApp& packaged :
         keptPackages({support / "Downloads", support / "Imported"}, product.bundleID)) {
        if (sameVersion(packaged.version, packaged.build) &&
            packaged.url.lexically_normal() != refused) {
            InstallReceipt receipt = reinstallFrom(packaged.url);
            // The installed version now comes from it, recorded with its bytes as they are now.
            std::optional<CenterRules::LocalPackage> anew;
            if (!keepRecord) {
                anew = CenterRules::LocalPackage{packaged.url.string(), proofOf(packaged.url)};
            }
            return {std::move(receipt), std::move(anew), refused.has_value()};
        }
    }
    if (refused) {
        throw CenterUIError::message("本机保存的" + product.name + " " + copy.version +
                                     " 安装包与安装时的记录不符，也没有完好的备份，请下载当前版本"
                                     "后重新安装。");
    }
    throw CenterUIError::message("本机没有" + product.name + " " + copy.version +
                                 " 的安装包或完好的备份，请下载当前版本后重新安装。");
}

} // namespace CenterRepair
