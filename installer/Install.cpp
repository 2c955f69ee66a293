#include "installer/Install.h"

#include "core/CenterError.h"
#include "core/Detection.h"
#include "core/Digest.h"
#include "core/Uuid.h"
#include "core/Validation.h"
#include "core/Versions.h"
#include "installer/LegacyIcon.h"
#include "installer/PackageValidation.h"
#include "installer/Staging.h"
#include "installer/ZipCentralDirectory.h"

#include <system_error>

namespace CenterInstaller {
namespace {

namespace fs = std::filesystem;

// Everything one run needs to know about where it works.
struct Places {
    const CenterProduct& product;
    const CenterRelease& release;
    fs::path target;
    fs::path staging;
    fs::path staged;
};

// The staging folder of one run: held against recovery while the run lasts, removed at its end.
class StagingFolder {
  public:
    StagingFolder(InstallOperations& operations, fs::path folder)
        : operations_(operations), folder_(std::move(folder)) {}
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    ~StagingFolder() {
        if (!kept_) {
            Staging::remove(folder_, operations_);
        }
    }

    void hold() { lock_.emplace(folder_); }
    // Leaves the folder for recoverInterruptedInstallations: it holds Contents that are needed.
    void keep() { kept_ = true; }

  private:
    InstallOperations& operations_;
    fs::path folder_;
    std::optional<Staging::Lock> lock_;
    bool kept_ = false;
};

void removeQuietly(InstallOperations& operations, const fs::path& item) {
    try {
        operations.remove(item);
    } catch (...) {
        // What remains is reported by the error that follows, or harmless.
    }
}

void createIfMissing(InstallOperations& operations, const fs::path& folder) {
    if (!isPresent(folder)) {
        operations.createDirectories(folder);
    }
    rejectSymlink(folder);
}

std::string applicationName(const CenterProduct& product) {
    return product.name.starts_with("KESTRYN ") ? product.name : "KESTRYN " + product.name;
}

bool isAtOrInside(const fs::path& item, const fs::path& folder) {
    std::string itemText = fs::weakly_canonical(item).generic_string();
    std::string folderText = fs::weakly_canonical(folder).generic_string();
    return itemText == folderText || itemText.starts_with(folderText + "/");
}

InstallReceipt receipt(const fs::path& target, std::optional<fs::path> backup) {
    std::optional<InstalledApp> app = CenterCore::readInstalledApp(target);
    if (!app) {
        throw CenterError::install("安装包缺少有效的应用程序。");
    }
    return {*app, std::move(backup)};
}

InstallReceipt installFirst(const Places& places, InstallOperations& operations) {
    operations.move(places.staged, places.target);
    try {
        validateApp(places.target, places.product, places.release, operations);
    } catch (...) {
        removeQuietly(operations, places.target);
        throw;
    }
    return receipt(places.target, std::nullopt);
}

// Puts the old Contents, "Icon\r" file and folder attributes back and proves it; false when
// any of it fails.
bool rollBack(const Places& places, const LegacyIconState& oldState,
              InstallOperations& operations) noexcept {
    try {
        fs::path contents = places.target / "Contents";
        // Moved aside rather than deleted in place, so an interruption never leaves half of it.
        if (isPresent(contents)) {
            operations.move(contents, places.staging / Staging::rejectedContents);
        }
        operations.move(places.staging / Staging::previousContents, contents);
        if (isPresent(places.staging / Staging::previousIcon)) {
            operations.move(places.staging / Staging::previousIcon,
                            places.target / legacyIconFileName);
        }
        replaceIconAttributes(places.target, oldState.folderAttributes, operations);
        return legacyIconState(places.target, operations) == oldState;
    } catch (...) {
        return false;
    }
}

InstallReceipt installUpdate(const Places& places, const fs::path& backupDirectory,
                             const RunningCheck& runningCheck, StagingFolder& stagingFolder,
                             InstallOperations& operations) {
    const CenterProduct& product = places.product;
    LegacyIconState oldState = legacyIconState(places.target, operations);
    createIfMissing(operations, backupDirectory);
    fs::path backup = backupDirectory / (product.id + "-" + CenterCore::newUUID() + ".app");
    if (isPresent(backup)) {
        throw CenterError::install("备份位置已存在，请重试。");
    }
    try {
        operations.copyBundle(places.target, backup);
        if (legacyIconState(backup, operations) != oldState) {
            throw CenterError::install("旧图标元数据备份不完整，原软件未修改。");
        }
        if (runningCheck(product.bundleID, places.target)) {
            throw CenterError::running(product.name);
        }
        // Written before the Contents leave the bundle, so that a crash from here on can be
        // undone by recoverInterruptedInstallations.
        operations.writeDurably(
            places.staging / Staging::recordName,
            Staging::encode({places.target.filename().string(), oldState.folderAttributes}));
        operations.move(places.target / "Contents", places.staging / Staging::previousContents);
    } catch (...) {
        removeQuietly(operations, backup);
        throw;
    }
    try {
        if (oldState.hasIconFile) {
            operations.move(places.target / legacyIconFileName,
                            places.staging / Staging::previousIcon);
        }
        replaceIconAttributes(places.target, {}, operations);
        operations.move(places.staged / "Contents", places.target / "Contents");
        validateApp(places.target, product, places.release, operations);
        return receipt(places.target, backup);
    } catch (...) {
        if (!rollBack(places, oldState, operations)) {
            // The previous Contents are the user's application: never removed from here while
            // the bundle lacks them.
            if (!isPresent(places.target / "Contents") &&
                isPresent(places.staging / Staging::previousContents)) {
                stagingFolder.keep();
            }
            throw CenterError::install("更新未完成，回退也未完成。完整原版备份位于：" +
                                       backup.string());
        }
        throw;
    }
}

} // namespace

InstallReceipt install(const fs::path& zip, const CenterProduct& product,
                       const CenterRelease& release, const fs::path& applicationsDirectory,
                       const fs::path& backupDirectory, const RunningCheck& runningCheck,
                       InstallOperations& operations) {
    validateIndependentProduct(product);
    if (!isLocalPath(zip) || !isLocalPath(applicationsDirectory) || !isLocalPath(backupDirectory)) {
        throw CenterError::invalid("安装路径必须位于本机。");
    }
    CenterCore::validateCatalog(CenterCatalog{1, {}, {product}});
    if (!CenterCore::isNumericVersion(release.version) ||
        !CenterCore::isNumericVersion(release.build)) {
        throw CenterError::invalid("待安装版本信息无效。");
    }
    if (release.artifact) {
        if (release.artifact->format != ArtifactFormat::zip) {
            throw CenterError::invalid("独立软件更新必须使用 ZIP 安装包。");
        }
        CenterCore::verifyFile(zip, *release.artifact);
    }
    createIfMissing(operations, applicationsDirectory);
    recoverInterruptedInstallations(applicationsDirectory, operations);

    std::optional<InstalledApp> installed =
        CenterCore::detectInstalled(product, {applicationsDirectory});
    if (runningCheck(product.bundleID,
                     installed ? std::optional<fs::path>(installed->url) : std::nullopt)) {
        throw CenterError::running(product.name);
    }
    if (installed && CenterCore::compareVersions(release.version, release.build, installed->version,
                                                 installed->build) <= 0) {
        throw CenterError::install("已安装相同或更新版本，无需替换。");
    }
    fs::path target =
        installed ? installed->url : applicationsDirectory / (applicationName(product) + ".app");
    if (isAtOrInside(backupDirectory, target)) {
        throw CenterError::install("备份目录必须位于待更新软件之外。");
    }
    if (!installed && isPresent(target)) {
        throw CenterError::install("安装位置已有其他软件，请先处理同名应用。");
    }
    if (installed) {
        rejectSymlink(target);
        rejectSymlink(target / "Contents");
    }
    std::string name = inspectZIP(zip);

    fs::path staging = applicationsDirectory / (Staging::prefix + CenterCore::newUUID());
    operations.createDirectory(staging);
    StagingFolder stagingFolder(operations, staging);
    stagingFolder.hold();
    operations.unpack(zip, staging);
    Places places{product, release, target, staging, staging / name};
    validateApp(places.staged, product, release, operations);
    if (runningCheck(product.bundleID, target)) {
        throw CenterError::running(product.name);
    }
    return installed
               ? installUpdate(places, backupDirectory, runningCheck, stagingFolder, operations)
               : installFirst(places, operations);
}

} // namespace CenterInstaller
