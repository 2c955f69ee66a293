// Version history: the backups of replaced versions, restoring one, and their retention.
#include "core/ErrorText.h"
#include "installer/Install.h"
#include "model/BackgroundWork.h"
#include "model/CenterCleaning.h"
#include "model/CenterHistory.h"
#include "model/CenterLocations.h"
#include "model/CenterModel.h"
#include "model/CenterPreferences.h"
#include "model/CenterUIError.h"

#include <set>
#include <system_error>

namespace {

namespace fs = std::filesystem;
using CenterInstaller::Backups::Backup;

fs::path backupFolder(const fs::path& support) {
    return support / "Backups";
}

// What a cleaning removed and the space it freed, as the status says it.
std::string cleaningLine(const CenterModel::Cleaning& cleaning) {
    std::uintmax_t freed = 0;
    for (const Backup& backup : cleaning.backups) {
        freed += backup.bytes;
    }
    for (const CenterInstaller::PackageCleanup::Package& package : cleaning.packages) {
        freed += package.bytes;
    }
    std::vector<std::string> parts;
    if (!cleaning.backups.empty()) {
        parts.push_back(std::to_string(cleaning.backups.size()) + " 个旧版本备份");
    }
    if (!cleaning.packages.empty()) {
        parts.push_back(std::to_string(cleaning.packages.size()) + " 个不再需要的安装包");
    }
    if (parts.empty()) {
        return "没有需要清理的旧版本备份或安装包。";
    }
    return "已清理 " + parts.front() + (parts.size() > 1 ? "和 " + parts.back() : "") + "，释放 " +
           CenterRules::byteText(freed) + "。";
}

} // namespace

std::vector<Backup> CenterModel::backupsOf(const CenterProduct& product) const {
    return CenterInstaller::Backups::list(backupFolder(setup_.supportDirectory), product);
}

void CenterModel::restoreBackup(const QString& product, const QString& backup) {
    for (const CenterProduct& shownProduct : products_) {
        if (shownProduct.id == product.toStdString()) {
            restoreBackup(shownProduct, fs::path(backup.toStdString()));
            return;
        }
    }
}

void CenterModel::restoreBackup(const CenterProduct& product, const fs::path& backup) {
    if (busy()) {
        return;
    }
    // Only a backup this product's list shows: the path decides nothing by itself. The list is
    // the history's last reading, so the window's thread never walks the backup folder.
    std::optional<Backup> chosen;
    for (const Backup& listed : history_->backupsOf(product.id)) {
        if (fs::absolute(backup).lexically_normal() == listed.path.lexically_normal()) {
            chosen = listed;
        }
    }
    if (!chosen) {
        setError("未找到这个备份。");
        return;
    }
    std::string details;
    if (std::optional<InstalledApp> installed = installedCopy(product)) {
        details += "本机版本：" + installed->version + "（" + installed->build + "）\n";
    }
    details += "备份版本：" + chosen->version + "（" + chosen->build +
               "）\n恢复前会为本机版本另存一份完整备份，所选备份保持不变。";
    setWaiting(+1);
    setup_.prompts->ask(
        {"恢复 KESTRYN " + product.name + " " + chosen->version + "？", details, {"恢复", "取消"}},
        [this, product, path = chosen->path, version = chosen->version](std::size_t button) {
            if (button == 0 && !busy()) {
                runRestore(product, path, version);
            }
            setWaiting(-1);
        });
}

void CenterModel::runRestore(const CenterProduct& product, const fs::path& backup,
                             const std::string& version) {
    setBusyProduct(product.id);
    setProgress(0);
    setStatus("正在恢复 " + product.name + " " + version + "…");
    std::stop_token stop = stoppableWork("已取消恢复" + product.name + "，原软件保留。");
    const fs::path folder =
        CenterLocations::installationFolder(installedCopy(product), setup_.applicationDirectories);
    runInBackground(
        this,
        [backup, product, folder, backups = backupFolder(setup_.supportDirectory),
         running = setup_.runningCheck, stop, retain = retention()] {
            InstallReceipt receipt =
                CenterInstaller::restore(backup, product, folder, backups, running,
                                         CenterInstaller::systemOperations(), stop);
            // Never the backup it came from.
            retain({backup});
            return receipt;
        },
        [this, product, backup](const Outcome<InstallReceipt>& outcome) {
            if (const auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
                if (!endedByCancel()) {
                    setError(CenterCore::describeError(*failure));
                    setStatus("恢复未完成，原软件保留");
                }
            } else {
                const InstalledApp& app = std::get<InstallReceipt>(outcome).installedApp;
                std::map<std::string, InstalledApp> installed = installed_;
                installed[product.id] = app;
                setInstalled(std::move(installed));
                setStatus("已恢复到 " + product.name + " " + app.version + "。");
            }
            detectInstalledNow();
            setBusyProduct(std::nullopt);
            // The replaced version's backup is new.
            reloadHistory();
        });
}

void CenterModel::removeProduct(const CenterProduct& product) {
    std::optional<InstalledApp> copy = installedCopy(product);
    if (busy()) {
        return;
    }
    if (!copy) {
        setError("这款软件尚未安装。");
        return;
    }
    if (isPreviewOnly(QString::fromStdString(product.id))) {
        setError(product.name + "仅供预览，不能移除。");
        return;
    }
    setWaiting(+1);
    setup_.prompts->ask({"移除 KESTRYN " + product.name + " " + copy->version + "？",
                         "“" + copy->url.string() + "”会移到“" +
                             backupFolder(setup_.supportDirectory).string() +
                             "”中，作为一份完整备份保留在历史版本里，随时可以用“恢复此版本”装回。",
                         {"移除", "取消"}},
                        [this, product, copy = *copy](std::size_t button) {
                            if (button == 0 && !busy()) {
                                runRemoval(product, copy);
                            }
                            setWaiting(-1);
                        });
}

void CenterModel::removeProduct(const QString& product) {
    if (std::optional<CenterProduct> found = this->product(product)) {
        removeProduct(*found);
    }
}

void CenterModel::runRemoval(const CenterProduct& product, const InstalledApp& copy) {
    setBusyProduct(product.id);
    setStatus("正在移除" + product.name + "…");
    std::stop_token stop = stoppableWork("已取消移除" + product.name + "，原软件保留。");
    runInBackground(
        this,
        [product, folder = copy.url.parent_path(), backups = backupFolder(setup_.supportDirectory),
         running = setup_.runningCheck, stop] {
            return CenterInstaller::removeInstalled(product, folder, backups, running,
                                                    CenterInstaller::systemOperations(), stop);
        },
        [this, product](const Outcome<fs::path>& outcome) {
            if (const auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
                if (!endedByCancel()) {
                    setError(CenterCore::describeError(*failure));
                    setStatus("移除未完成，原软件保留");
                }
            } else {
                setStatus("已移除" + product.name + "，可在历史版本中恢复。");
            }
            detectInstalledNow();
            setBusyProduct(std::nullopt);
            reloadHistory();
        });
}

std::function<void(const std::vector<fs::path>&)> CenterModel::retention() const {
    return [folder = backupFolder(setup_.supportDirectory), products = knownProducts_,
            keep = preferences_->keepBackups()](const std::vector<fs::path>& spared) {
        if (!keep) {
            return;
        }
        try {
            static_cast<void>(CenterInstaller::Backups::prune(
                folder, products, static_cast<std::size_t>(*keep), spared));
        } catch (...) {
            // The replacement itself succeeded; the next cleaning tries the limit again.
        }
    };
}

void CenterModel::setCleaning(bool cleaning) {
    if (cleaning_ != cleaning) {
        cleaning_ = cleaning;
        emit workChanged();
        announceIfIdle();
    }
}

void CenterModel::pruneBackups(std::function<void(const Cleaning&)> done) {
    if (busy() || updateAll_.current) {
        return;
    }
    std::set<fs::path> recorded;
    for (const auto& [product, package] : localPackages_) {
        recorded.insert(fs::path(package.path).lexically_normal());
    }
    std::vector<InstalledApp> copies;
    for (const auto& [product, copy] : installed_) {
        copies.push_back(copy);
    }
    setCleaning(true);
    setError(std::nullopt);
    setStatus("正在清理旧版本备份和安装包……");
    runInBackground(
        this,
        [backups = backupFolder(setup_.supportDirectory), products = knownProducts_,
         keep = preferences_->keepBackups(), support = setup_.supportDirectory, recorded, copies] {
            Cleaning cleaning;
            if (keep) {
                cleaning.backups = CenterInstaller::Backups::prune(backups, products,
                                                                   static_cast<std::size_t>(*keep));
            }
            cleaning.packages =
                CenterInstaller::PackageCleanup::remove(CenterInstaller::PackageCleanup::unneeded(
                    support / "Downloads", support / "Imported", recorded, copies));
            return cleaning;
        },
        [this, done](const Outcome<Cleaning>& outcome) {
            setCleaning(false);
            reloadHistory();
            if (const auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
                setError(CenterCore::describeError(*failure));
                setStatus("清理未完成，未删除的备份和安装包都保持原样。");
                return;
            }
            const Cleaning& cleaning = std::get<Cleaning>(outcome);
            setStatus(cleaningLine(cleaning));
            if (done) {
                done(cleaning);
            }
        });
}

void CenterModel::pruneBackupsNow() {
    pruneBackups();
}

bool CenterModel::canClean() const {
    return preferences_->keepBackups().has_value() || history_->snapshot().hasPackages;
}

QString CenterModel::diskUseLine() const {
    return QString::fromStdString(CenterHistory::diskUseLine(history_->snapshot().diskUse));
}

void CenterModel::reloadHistory() {
    setWaiting(+1);
    history_->reload(knownProducts_, [this] { setWaiting(-1); });
}
