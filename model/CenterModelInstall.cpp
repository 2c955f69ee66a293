// Product actions and the installation flow: download, install or open, report.
#include "core/CancellationError.h"
#include "core/ErrorText.h"
#include "core/Registry.h"
#include "core/Versions.h"
#include "installer/Install.h"
#include "model/BackgroundWork.h"
#include "model/CenterLocations.h"
#include "model/CenterModel.h"
#include "model/CenterUIError.h"
#include "model/DifferentialUpdate.h"
#include "model/LocalLists.h"
#include "transport/CenterUpdateService.h"

#include <QPointer>
#include <algorithm>
#include <atomic>
#include <memory>
#include <system_error>

namespace {

namespace fs = std::filesystem;

bool isPreview(const CenterProduct& product) {
    return CenterCore::previewOnlyProductIDs().contains(product.id);
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

} // namespace

bool CenterModel::hasPackage(const CenterProduct& product) const {
    return (product.release && product.release->artifact) || importedPackage(product);
}

std::optional<fs::path> CenterModel::importedPackage(const CenterProduct& product) const {
    auto package = localPackages_.find(product.id);
    if (package == localPackages_.end() ||
        fs::path(package->second.path).parent_path().lexically_normal() !=
            (setup_.supportDirectory / "Imported").lexically_normal() ||
        !fileExists(package->second.path)) {
        return std::nullopt;
    }
    return package->second.path;
}

void CenterModel::recordPackage(const CenterProduct& product, const fs::path& package,
                                std::optional<CenterRules::PackageProof> proof) {
    auto earlier = localPackages_.find(product.id);
    const bool sameFile = earlier != localPackages_.end() && earlier->second.path == package;
    if (sameFile && !proof) {
        proof = earlier->second.proof;
    }
    localPackages_[product.id] = {package.string(), std::move(proof)};
    try {
        // Another package installed in its place: an imported release left behind no longer
        // has a package of its own.
        if (!sameFile && localReleases_.erase(product.id) > 0) {
            LocalLists::writeReleases(setup_.supportDirectory, localReleases_);
        }
        LocalLists::writePackages(setup_.supportDirectory, localPackages_);
    } catch (...) {
        setError(CenterCore::describeError(std::current_exception()));
    }
}

std::string CenterModel::actionTitle(const CenterProduct& product) const {
    return CenterRules::actionTitle(product, installedCopy(product), busyProduct_, progress_,
                                    hasPackage(product));
}

std::string CenterModel::detailStatus(const CenterProduct& product) const {
    return CenterRules::detailStatus(product, installedCopy(product));
}

void CenterModel::performAction(const CenterProduct& product) {
    if (isPreview(product)) {
        showDetails(product, CenterDetailSection::overview);
        return;
    }
    if (busy()) {
        return;
    }
    std::optional<InstalledApp> copy = installedCopy(product);
    if (!copy || CenterCore::availableUpdate(product, copy)) {
        startInstallation(product, std::nullopt, std::nullopt);
    } else {
        openProduct(product);
    }
}

void CenterModel::installOrUpdate(const CenterProduct& product, bool wholePackage) {
    if (busy()) {
        return;
    }
    std::optional<InstalledApp> copy = installedCopy(product);
    if (!isPreview(product) && copy && !CenterCore::availableUpdate(product, copy)) {
        setStatus(product.name + " " + copy->version + " 已是最新版本。");
        return;
    }
    updateOnly_ = true;
    startInstallation(product, std::nullopt, std::nullopt, wholePackage);
    // Refused before it began, it leaves nothing to finish.
    updateOnly_ = busyProduct_.has_value();
}

void CenterModel::openProduct(const CenterProduct& product) {
    std::optional<InstalledApp> copy = installedCopy(product);
    if (!copy) {
        setError("这款软件尚未安装。");
        return;
    }
    if (std::optional<std::string> failure = setup_.workspace->openApplication(copy->url)) {
        setError(*failure);
    }
}

void CenterModel::showPackage(const CenterProduct& product) {
    if (std::optional<fs::path> package = importedPackage(product)) {
        setup_.workspace->reveal({*package});
    } else if (std::optional<InstalledApp> copy = installedCopy(product)) {
        setup_.workspace->reveal({copy->url});
    } else {
        setError("此软件还没有下载到本机。");
    }
}

void CenterModel::startInstallation(const CenterProduct& product,
                                    std::optional<CenterRelease> localRelease,
                                    std::optional<fs::path> packageOverride, bool wholePackage) {
    if (isPreview(product)) {
        setError("幻彩工坊目前仅为界面预览，尚无可安装插件。");
        return;
    }
    std::optional<CenterRelease> release = localRelease ? localRelease : product.release;
    if (!release) {
        setError("此软件还没有可用的发布版本。");
        return;
    }
    if (!hasPackage(product)) {
        setPage(CenterPage::settings);
        setError(
            product.name +
            "的在线下载尚未开通。可以先导入已有安装包使用；连接正式更新服务后将显示在线版本。");
        return;
    }
    setBusyProduct(product.id);
    setProgress(0);

    if (packageOverride) {
        installPackage(*packageOverride, product, *release);
    } else if (release->artifact) {
        setStatus("正在下载" + product.name);
        std::stop_token stop =
            stoppableWork("已取消下载" + product.name + "，已下载的部分会在下次继续。");
        runInBackground(
            this,
            [service = *service_, artifact = *release->artifact,
             folder = setup_.supportDirectory / "Downloads", reportProgress = downloadProgress(),
             stop, differential = wholePackage ? nullptr : differentialUpdate(product)] {
                const std::unique_ptr<ArtifactRebuild> rebuild =
                    differential ? differential() : nullptr;
                return service.download(artifact, folder, reportProgress, stop, rebuild.get());
            },
            [this, product, release = *release](const Outcome<fs::path>& outcome) {
                if (const auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
                    finishInstallation(*failure);
                } else if (cancelling_) {
                    // The last bytes came in as the user cancelled: the proven file stays in
                    // "Downloads" for the next attempt.
                    finishInstallation(std::make_exception_ptr(CancellationError()));
                } else {
                    installPackage(std::get<fs::path>(outcome), product, release);
                }
            });
    } else if (std::optional<fs::path> local = importedPackage(product)) {
        installPackage(*local, product, *release);
    } else {
        finishInstallation(std::make_exception_ptr(CenterUIError::message("未找到安装包。")));
    }
}

void CenterModel::installPackage(const fs::path& package, const CenterProduct& product,
                                 const CenterRelease& release) {
    const std::string extension = CenterRules::packageExtension(package);
    try {
        // The plug-in's packages go to the package's own installer, like every DMG and PKG.
        const CenterCore::RegisteredProduct* plugIn = CenterCore::plugInProduct(product);
        if (plugIn || extension == "dmg" || extension == "pkg") {
            if (plugIn) {
                for (const auto& application : setup_.workspace->runningApplications()) {
                    if (application.bundleID == plugIn->plugInHostBundleID) {
                        setup_.workspace->reveal({package});
                        throw CenterUIError::message(
                            "澄光工坊安装包已就绪。请先保存工程并退出 Final Cut "
                            "Pro，再从安装包升级；完成后在澄光工坊中安装 FCP 效果。");
                    }
                }
            }
            if (!setup_.workspace->openFile(package)) {
                throw CenterUIError::message("无法打开安装包，请在访达中检查文件是否完整。");
            }
            setStatus("安装包已打开，请按安装说明完成升级");
            finishInstallation(nullptr);
            return;
        }
        if (extension != "zip") {
            throw CenterUIError::message("请使用 ZIP、DMG 或 PKG 安装包。");
        }
        if (!ownBundleID_.empty() && product.bundleID == ownBundleID_) {
            throw CenterUIError::message("软件中心自身更新请使用“检查软件中心更新”。");
        }
    } catch (...) {
        finishInstallation(std::current_exception());
        return;
    }
    setStatus("正在校验并安装" + product.name);
    std::stop_token stop = stoppableWork("已取消安装" + product.name + "，原软件保留。");
    // The copy the installer will replace decides the folder, so an update never leaves a
    // second copy in the other applications folder.
    const fs::path folder =
        CenterLocations::installationFolder(installedCopy(product), setup_.applicationDirectories);
    runInBackground(
        this,
        [package, product, release, folder, backups = setup_.supportDirectory / "Backups",
         running = setup_.runningCheck, stop, retain = retention()] {
            InstallReceipt receipt =
                CenterInstaller::install(package, product, release, folder, backups, running,
                                         CenterInstaller::systemOperations(), stop);
            retain({});
            return receipt;
        },
        [this, product, package,
         artifact = release.artifact](const Outcome<InstallReceipt>& outcome) {
            if (const auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
                finishInstallation(*failure);
                return;
            }
            // A download was proven against the catalog's size and SHA-256 before it was
            // installed; an import keeps what its reading recorded.
            recordPackage(product, package,
                          artifact ? std::optional(CenterRules::PackageProof{artifact->byteCount,
                                                                             artifact->sha256})
                                   : std::nullopt);
            const InstalledApp& app = std::get<InstallReceipt>(outcome).installedApp;
            std::map<std::string, InstalledApp> installed = installed_;
            installed[product.id] = app;
            setInstalled(std::move(installed));
            setStatus(product.name + "已安装 · " + app.version);
            finishInstallation(nullptr);
            afterInstallation(artifact);
        });
}

void CenterModel::finishInstallation(std::exception_ptr failure) {
    setProgress(0);
    detectInstalledNow();
    if (failure && !endedByCancel() && !currentAfterAll()) {
        setError(CenterCore::describeError(failure));
        setStatus("安装未完成，原软件保留");
    }
    updateOnly_ = false;
    setBusyProduct(std::nullopt);
    if (failure) {
        // A download that ended early keeps its bytes for the next attempt: the disk use grew.
        reloadHistory();
    }
}

std::function<std::unique_ptr<ArtifactRebuild>()>
CenterModel::differentialUpdate(const CenterProduct& product) {
    const QPointer<CenterModel> model(this);
    const auto say = [model](const std::string& line) {
        QMetaObject::invokeMethod(
            model.data(),
            [model, line] {
                if (model) {
                    model->setStatus(line);
                }
            },
            Qt::QueuedConnection);
    };
    std::optional<fs::path> recorded;
    if (auto package = localPackages_.find(product.id); package != localPackages_.end()) {
        recorded = package->second.path;
    }
    // Looking for the old package reads ZIPs: it runs on the downloading thread.
    return [say, recorded = std::move(recorded),
            folders = std::vector{setup_.supportDirectory / "Downloads",
                                  setup_.supportDirectory / "Imported"},
            bundleID = product.bundleID, installed = installedCopy(product),
            timeouts = setup_.timeouts]() -> std::unique_ptr<ArtifactRebuild> {
        std::optional<fs::path> old =
            DifferentialUpdate::oldPackage(recorded, folders, bundleID, installed);
        if (!old) {
            return nullptr;
        }
        return std::make_unique<DifferentialUpdate>(
            *old, timeouts,
            [say](std::int64_t fetchBytes, std::int64_t packageBytes) {
                say(DifferentialUpdate::savingLine(fetchBytes, packageBytes));
            },
            [say](const std::string& reason) { say(DifferentialUpdate::fallBackLine(reason)); });
    };
}

bool CenterModel::currentAfterAll() {
    if (!updateOnly_ || !busyProduct_) {
        return false;
    }
    std::optional<CenterProduct> product = this->product(QString::fromStdString(*busyProduct_));
    std::optional<InstalledApp> copy = product ? installedCopy(*product) : std::nullopt;
    if (!copy || CenterCore::availableUpdate(*product, copy)) {
        return false;
    }
    setStatus(product->name + " " + copy->version + " 已是最新版本。");
    return true;
}

// A download's progress for the main thread. Reports arrive far faster than the window can
// draw them; each one only stores its fraction, and a single task at a time carries the
// latest one over, so the bar shows the bytes received by now instead of a backlog of old ones.
// A task for a model that is gone is dropped with it.
std::function<void(double)> CenterModel::downloadProgress() {
    const QPointer<CenterModel> model(this);
    struct Relay {
        std::atomic<double> fraction{0};
        std::atomic<bool> posted{false};
    };
    auto relay = std::make_shared<Relay>();
    return [model, relay](double fraction) {
        relay->fraction.store(fraction);
        if (relay->posted.exchange(true)) {
            return;
        }
        QMetaObject::invokeMethod(
            model.data(),
            [model, relay] {
                relay->posted.store(false);
                if (model) {
                    model->followDownload(relay->fraction.load());
                }
            },
            Qt::QueuedConnection);
    };
}

void CenterModel::followDownload(double fraction) {
    setProgress(fraction);
    // Every byte is in; the proof of its size and SHA-256 finishes now.
    const char* const verifying = "正在校验安装包……";
    if (fraction >= 1.0 && busyProduct_ && status_ != verifying) {
        setStatus(verifying);
    }
}

void CenterModel::cancelWork() {
    if (!canCancel()) {
        return;
    }
    cancelling_ = true;
    // A cancel during an update-all stops the rest of it too.
    if (updateAll_.current) {
        updateAll_.waiting.clear();
        updateAll_.cancelled = true;
    }
    work_.request_stop();
    emit workChanged();
}

std::stop_token CenterModel::stoppableWork(std::string cancelledStatus) {
    // A source asked to stop stays stopped; the next work gets a fresh one.
    if (work_.stop_requested()) {
        work_ = std::stop_source();
    }
    cancelledStatus_ = std::move(cancelledStatus);
    return work_.get_token();
}

bool CenterModel::endedByCancel() {
    if (!cancelling_) {
        return false;
    }
    setStatus(cancelledStatus_);
    return true;
}

void CenterModel::afterInstallation(const std::optional<ReleaseArtifact>& artifact) {
    if (artifact) {
        CenterUpdateService::discardPartial(*artifact, setup_.supportDirectory / "Downloads");
    }
    // Even with nothing pruned: the replaced version's backup is new and the download gone.
    reloadHistory();
}
