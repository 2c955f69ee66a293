// The integrity of the installed copies: checks against their seals, read-only, and repairs.
#include "core/ErrorText.h"
#include "model/BackgroundWork.h"
#include "model/CenterIntegrity.h"
#include "model/CenterModel.h"
#include "model/CenterRepair.h"

namespace {

// "检查完毕：3 款软件完整。", or with how many are not.
std::string summaryLine(std::size_t intact, std::size_t damaged) {
    std::string line = "检查完毕：";
    if (intact > 0) {
        line += std::to_string(intact) + " 款软件完整";
    }
    if (damaged > 0) {
        line += (intact > 0 ? "，" : "") + std::to_string(damaged) +
                (intact > 0 ? " 款不完整" : " 款软件不完整");
    }
    return line + "。";
}

} // namespace

void CenterModel::checkIntegrity(const std::optional<CenterProduct>& product) {
    // A copy being replaced would be reported as damaged.
    if (busy()) {
        return;
    }
    std::vector<CenterIntegrity::Copy> copies;
    for (const CenterProduct& shown : products_) {
        std::optional<InstalledApp> copy = installedCopy(shown);
        if (copy && (!product || product->id == shown.id)) {
            copies.emplace_back(shown, *copy);
        }
    }
    if (copies.empty()) {
        if (product) {
            setError(product->name + "未安装，无法检查完整性。");
        } else {
            setStatus("没有已安装的软件可以检查。");
        }
        return;
    }
    setStatus("正在检查已安装软件的完整性……");
    setWaiting(+1);
    std::vector<std::string> checked;
    for (const CenterIntegrity::Copy& copy : copies) {
        checked.push_back(copy.first.id);
    }
    integrity_->checkInBackground(std::move(copies), [this, checked = std::move(checked)] {
        std::size_t intact = 0;
        for (const std::string& id : checked) {
            auto result = integrity_->results().find(id);
            intact += result != integrity_->results().end() && result->second.intact ? 1 : 0;
        }
        setStatus(summaryLine(intact, checked.size() - intact));
        setWaiting(-1);
    });
}

void CenterModel::checkIntegrity(const QString& product) {
    for (const CenterProduct& shown : products_) {
        if (QString::fromStdString(shown.id) == product) {
            checkIntegrity(std::optional(shown));
        }
    }
}

void CenterModel::repairProduct(const CenterProduct& product) {
    if (busy()) {
        return;
    }
    std::optional<InstalledApp> copy = installedCopy(product);
    if (!copy) {
        setError("这款软件尚未安装。");
        return;
    }
    setWaiting(+1);
    setup_.prompts->ask({"修复 KESTRYN " + product.name + " " + copy->version + "？",
                         "会先把本机这份另存为完整备份，再用本机保存的同一版本的安装包或完好的"
                         "备份重新安装。",
                         {"修复", "取消"}},
                        [this, product, copy = *copy](std::size_t button) {
                            if (button == 0 && !busy()) {
                                runRepair(product, copy);
                            }
                            setWaiting(-1);
                        });
}

void CenterModel::repairProduct(const QString& product) {
    if (std::optional<CenterProduct> found = this->product(product)) {
        repairProduct(*found);
    }
}

void CenterModel::runRepair(const CenterProduct& product, const InstalledApp& copy) {
    setBusyProduct(product.id);
    setStatus("正在修复" + product.name + "…");
    std::stop_token stop = stoppableWork("已取消修复" + product.name + "，原软件保留。");
    std::optional<CenterRules::LocalPackage> recorded;
    if (auto package = localPackages_.find(product.id); package != localPackages_.end()) {
        recorded = package->second;
    }
    runInBackground(
        this,
        [product, copy, recorded, support = setup_.supportDirectory, running = setup_.runningCheck,
         stop] { return CenterRepair::run(product, copy, recorded, support, running, stop); },
        [this, product](const Outcome<CenterRepair::Result>& outcome) {
            if (const auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
                if (!endedByCancel()) {
                    setError(CenterCore::describeError(*failure));
                    setStatus("修复未完成，原软件保留");
                }
            } else {
                const CenterRepair::Result& repair = std::get<CenterRepair::Result>(outcome);
                if (repair.recordAnew) {
                    recordPackage(product, repair.recordAnew->path, repair.recordAnew->proof);
                }
                const std::string repaired =
                    "已修复" + product.name + " " + repair.receipt.installedApp.version;
                setStatus(repair.refusedRecorded
                              ? repaired + "，本机保存的安装包与安装时的记录不符，未被使用。"
                              : repaired + "。");
                integrity_->forget(product.id);
            }
            detectInstalledNow();
            setBusyProduct(std::nullopt);
            reloadHistory();
        });
}
