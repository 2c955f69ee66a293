#include "installer/Install.h"

#include "core/CancellationError.h"
#include "core/CenterError.h"
#include "core/Detection.h"
#include "core/Digest.h"
#include "core/FolderLock.h"
#include "core/Uuid.h"
#include "core/Validation.h"
#include "core/Versions.h"
#include "installer/Backups.h"
#include "installer/LegacyIcon.h"
#include "installer/PackageValidation.h"
#include "installer/Recovery.h"
#include "installer/Staging.h"
#include "installer/WorkFolder.h"
#include "installer/ZipCentralDirectory.h"

#include <functional>
#include <system_error>
#include <vector>

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
    std::stop_token stop;

    // A point where the run can end cleanly when its caller asks it to stop.
    void checkpoint() const {
        if (stop.stop_requested()) {
            throw CancellationError();
        }
    }
};

// The staging folder of one run: held against recovery while the run lasts, removed at its end.
class StagingFolder {
  public:
    // Creates the folder and holds it. Installations into one applications folder take turns, so
    // no recovery can take a new folder before it is held.
    StagingFolder(InstallOperations& operations, fs::path folder)
        : operations_(operations), folder_(std::move(folder)),
          lock_(createHeld(operations_, folder_)) {}
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    ~StagingFolder() {
        if (!kept_) {
            Staging::remove(folder_, operations_);
        }
    }

    // Leaves the folder for recoverInterruptedInstallations: it holds Contents that are needed.
    void keep() { kept_ = true; }
    [[nodiscard]] const fs::path& path() const { return folder_; }

  private:
    static std::optional<CenterCore::FolderLock> createHeld(InstallOperations& operations,
                                                            const fs::path& folder) {
        operations.createDirectory(folder);
        return CenterCore::FolderLock::tryLock(folder);
    }

    InstallOperations& operations_;
    fs::path folder_;
    std::optional<CenterCore::FolderLock> lock_;
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
    places.checkpoint();
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

// A complete copy of `app` in the backup folder, named as a backup only once it is proven, so a
// folder with a backup's name is always a complete copy, whenever the run is stopped.
fs::path provenBackup(const fs::path& app, const fs::path& backupDirectory,
                      const CenterProduct& product, const LegacyIconState& state,
                      InstallOperations& operations, std::stop_token stop) {
    createIfMissing(operations, backupDirectory);
    fs::path backup = backupDirectory / (product.id + "-" + CenterCore::newUUID() + ".app");
    if (isPresent(backup)) {
        throw CenterError::install("备份位置已存在，请重试。");
    }
    WorkFolder copying(backupDirectory, Backups::workPrefix, operations);
    fs::path copy = copying.path() / backup.filename();
    operations.copyBundle(app, copy, stop);
    if (legacyIconState(copy, operations) != state) {
        throw CenterError::install("旧图标元数据备份不完整，原软件未修改。");
    }
    operations.move(copy, backup);
    return backup;
}

InstallReceipt installUpdate(const Places& places, const fs::path& backupDirectory,
                             const RunningCheck& runningCheck, StagingFolder& stagingFolder,
                             InstallOperations& operations) {
    const CenterProduct& product = places.product;
    LegacyIconState oldState = legacyIconState(places.target, operations);
    fs::path backup;
    try {
        backup = provenBackup(places.target, backupDirectory, product, oldState, operations,
                              places.stop);
        if (runningCheck(product.bundleID, places.target)) {
            throw CenterError::running(product.name);
        }
        places.checkpoint();
        // Written before the Contents leave the bundle, so that a crash from here on can be
        // undone by recoverInterruptedInstallations.
        operations.writeDurably(
            places.staging / Staging::recordName,
            Staging::encode({places.target.filename().string(), oldState.folderAttributes}));
        operations.move(places.target / "Contents", places.staging / Staging::previousContents);
    } catch (...) {
        if (!backup.empty()) {
            removeQuietly(operations, backup);
        }
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

// Where a run's new application comes from: a package to unpack or a backup to copy.
struct Source {
    // Whether the release must be newer than the installed copy (an update, not a restore).
    bool newerOnly;
    // The checks of the source, given the bundle the run will replace or create, made before
    // the staging folder exists; the name of the application folder `stage` will put there.
    std::function<std::string(const fs::path& target)> inspect;
    // Puts the application into the staging folder under that name.
    std::function<void(const fs::path& staging, const std::string& name)> stage;
};

// The one transaction of installations, updates and restores: checks, staging, then a first
// installation or a proven backup, the swap of Contents and a rollback on any failure.
InstallReceipt transact(const Source& source, const CenterProduct& product,
                        const CenterRelease& release, const fs::path& applicationsDirectory,
                        const fs::path& backupDirectory, const RunningCheck& runningCheck,
                        InstallOperations& operations, std::stop_token stop) {
    createIfMissing(operations, applicationsDirectory);
    // Installations into one applications folder take turns, and each one decides what to do
    // only once it holds the folder, so two runs never both replace the same version.
    CenterCore::FolderLock turn = CenterCore::FolderLock::wait(applicationsDirectory, stop);
    recoverStagingFolders(applicationsDirectory, operations);
    // Whatever this run refuses below, what a killed one left among the backups goes now.
    Backups::sweepWork(backupDirectory, operations);

    std::optional<InstalledApp> installed =
        CenterCore::detectInstalled(product, {applicationsDirectory});
    if (runningCheck(product.bundleID,
                     installed ? std::optional<fs::path>(installed->url) : std::nullopt)) {
        throw CenterError::running(product.name);
    }
    if (source.newerOnly && installed &&
        CenterCore::compareVersions(release.version, release.build, installed->version,
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
    std::string name = source.inspect(target);

    StagingFolder stagingFolder(operations,
                                applicationsDirectory / (Staging::prefix + CenterCore::newUUID()));
    Places places{product, release, target, stagingFolder.path(), stagingFolder.path() / name,
                  stop};
    places.checkpoint();
    source.stage(places.staging, name);
    validateApp(places.staged, product, release, operations);
    if (runningCheck(product.bundleID, target)) {
        throw CenterError::running(product.name);
    }
    return installed
               ? installUpdate(places, backupDirectory, runningCheck, stagingFolder, operations)
               : installFirst(places, operations);
}

// The product gate and the local-path rule every run starts with.
void checkRun(const CenterProduct& product, const std::vector<fs::path>& locations) {
    validateIndependentProduct(product);
    for (const fs::path& location : locations) {
        if (!isLocalPath(location)) {
            throw CenterError::invalid("安装路径必须位于本机。");
        }
    }
    CenterCore::validateCatalog(CenterCatalog{1, {}, {product}});
}

// The transaction from a ZIP package; `newerOnly` refuses a release that is not newer than the
// installed copy.
InstallReceipt installFromZIP(const fs::path& zip, const CenterProduct& product,
                              const CenterRelease& release, const fs::path& applicationsDirectory,
                              const fs::path& backupDirectory, const RunningCheck& runningCheck,
                              InstallOperations& operations, std::stop_token stop, bool newerOnly) {
    checkRun(product, {zip, applicationsDirectory, backupDirectory});
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
    Source package{newerOnly, [&zip](const fs::path&) { return inspectZIP(zip); },
                   [&](const fs::path& staging, const std::string&) {
                       operations.unpack(zip, staging, stop);
                   }};
    return transact(package, product, release, applicationsDirectory, backupDirectory, runningCheck,
                    operations, stop);
}

} // namespace

InstallReceipt install(const fs::path& zip, const CenterProduct& product,
                       const CenterRelease& release, const fs::path& applicationsDirectory,
                       const fs::path& backupDirectory, const RunningCheck& runningCheck,
                       InstallOperations& operations, std::stop_token stop) {
    return installFromZIP(zip, product, release, applicationsDirectory, backupDirectory,
                          runningCheck, operations, stop, true);
}

InstallReceipt reinstall(const fs::path& zip, const CenterProduct& product,
                         const CenterRelease& release, const fs::path& applicationsDirectory,
                         const fs::path& backupDirectory, const RunningCheck& runningCheck,
                         InstallOperations& operations, std::stop_token stop) {
    return installFromZIP(zip, product, release, applicationsDirectory, backupDirectory,
                          runningCheck, operations, stop, false);
}

InstallReceipt restore(const fs::path& backup, const CenterProduct& product,
                       const fs::path& applicationsDirectory, const fs::path& backupDirectory,
                       const RunningCheck& runningCheck, InstallOperations& operations,
                       std::stop_token stop) {
    checkRun(product, {backup, applicationsDirectory, backupDirectory});
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(backup, error))) {
        throw CenterError::install("所选备份不存在或不是应用程序。");
    }
    std::optional<InstalledApp> saved = CenterCore::readInstalledApp(backup);
    if (!saved || !CenterCore::isNumericVersion(saved->version) ||
        !CenterCore::isNumericVersion(saved->build)) {
        throw CenterError::install("备份中的版本信息无效。");
    }
    if (saved->bundleID != product.bundleID) {
        throw CenterError::install("所选备份不属于这款软件。");
    }
    // A deliberate return to an older version: the release is the backup itself.
    const CenterRelease release{saved->version, saved->build, "backup", {}, {}};
    Source copy{false,
                [&](const fs::path& target) {
                    if (isAtOrInside(backup, target)) {
                        throw CenterError::install("所选备份不存在或不是应用程序。");
                    }
                    // Named as the backup, so an error about the copy names what the user chose.
                    std::string name = backup.filename().string();
                    return name.ends_with(".app") ? name : name + ".app";
                },
                // Copied, never moved: the backup stays where it is for the next time.
                [&](const fs::path& staging, const std::string& name) {
                    operations.copyBundle(backup, staging / name, stop);
                }};
    return transact(copy, product, release, applicationsDirectory, backupDirectory, runningCheck,
                    operations, stop);
}

fs::path removeInstalled(const CenterProduct& product, const fs::path& applicationsDirectory,
                         const fs::path& backupDirectory, const RunningCheck& runningCheck,
                         InstallOperations& operations, std::stop_token stop) {
    checkRun(product, {applicationsDirectory, backupDirectory});
    CenterCore::FolderLock turn = CenterCore::FolderLock::wait(applicationsDirectory, stop);
    recoverStagingFolders(applicationsDirectory, operations);
    Backups::sweepWork(backupDirectory, operations);
    std::optional<InstalledApp> installed =
        CenterCore::detectInstalled(product, {applicationsDirectory});
    if (!installed) {
        throw CenterError::install("这款软件尚未安装。");
    }
    const fs::path& target = installed->url;
    if (runningCheck(product.bundleID, target)) {
        throw CenterError::running(product.name);
    }
    if (isAtOrInside(backupDirectory, target)) {
        throw CenterError::install("备份目录必须位于待更新软件之外。");
    }
    rejectSymlink(target);
    rejectSymlink(target / "Contents");
    fs::path backup = provenBackup(target, backupDirectory, product,
                                   legacyIconState(target, operations), operations, stop);
    try {
        if (runningCheck(product.bundleID, target)) {
            throw CenterError::running(product.name);
        }
        if (stop.stop_requested()) {
            throw CancellationError();
        }
        // Out of the applications folder in one rename, then removed with the staging folder:
        // a run killed midway leaves the whole bundle or none of it there.
        StagingFolder removal(operations,
                              applicationsDirectory / (Staging::prefix + CenterCore::newUUID()));
        operations.move(target, removal.path() / target.filename());
    } catch (...) {
        removeQuietly(operations, backup);
        throw;
    }
    return backup;
}

} // namespace CenterInstaller
