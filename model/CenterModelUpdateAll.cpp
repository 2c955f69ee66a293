// Update all: the listed updates one after another, each its own installation flow.
#include "model/CenterModel.h"

namespace {

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : "、") + name;
    }
    return text;
}

// A reason inside brackets reads without its own full stop.
std::string withoutFullStop(std::string reason) {
    const std::string stop = "。";
    if (reason.ends_with(stop)) {
        reason.resize(reason.size() - stop.size());
    }
    return reason;
}

} // namespace

void CenterModel::updateAll() {
    if (!canUpdateAll()) {
        if (canCheck()) {
            setStatus("没有可更新的软件。");
        }
        return;
    }
    updateAll_ = {};
    for (const CenterProduct& product : updates()) {
        updateAll_.waiting.push_back(product.id);
    }
    updateNextOfAll();
}

void CenterModel::updateNextOfAll() {
    noteUpdateOfAll();
    while (!updateAll_.waiting.empty()) {
        const std::string id = updateAll_.waiting.front();
        updateAll_.waiting.erase(updateAll_.waiting.begin());
        std::optional<CenterProduct> product = this->product(QString::fromStdString(id));
        if (!product) {
            continue;
        }
        updateAll_.current = product->name;
        // Each failure is said in turn; the summary names them all.
        setError(std::nullopt);
        installOrUpdate(*product);
        if (busyProduct_) {
            return;
        }
        // Refused or done before it became busy.
        noteUpdateOfAll();
    }
    std::string summary;
    if (!updateAll_.updated.empty()) {
        summary = "已更新 " + std::to_string(updateAll_.updated.size()) + " 款软件：" +
                  joined(updateAll_.updated) + "。";
    }
    if (!updateAll_.failed.empty()) {
        std::vector<std::string> failures;
        for (const auto& [name, reason] : updateAll_.failed) {
            failures.push_back(name + "（" + withoutFullStop(reason) + "）");
        }
        summary +=
            std::to_string(updateAll_.failed.size()) + " 款未能更新：" + joined(failures) + "。";
    }
    if (updateAll_.cancelled) {
        summary += summary.empty() ? "已取消全部更新，已安装的软件保持原样。" : "其余更新已取消。";
    }
    setStatus(summary);
    emit workChanged();
}

void CenterModel::noteUpdateOfAll() {
    if (!updateAll_.current) {
        return;
    }
    const std::string name = *std::exchange(updateAll_.current, std::nullopt);
    if (error_) {
        updateAll_.failed.emplace_back(name, *error_);
    } else if (!updateAll_.cancelled) {
        updateAll_.updated.push_back(name);
    }
}
