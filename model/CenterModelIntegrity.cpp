// The integrity of the installed copies: checks against their seals, read-only.
#include "model/CenterIntegrity.h"
#include "model/CenterModel.h"

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
    if (busyProduct_) {
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
