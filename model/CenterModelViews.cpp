// The window's face of the model: the same state and operations, addressed by product id.
#include "core/Registry.h"
#include "model/CenterModel.h"

#include <QLocale>
#include <system_error>

namespace fs = std::filesystem;

std::optional<CenterProduct> CenterModel::product(const QString& id) const {
    const std::string wanted = id.toStdString();
    for (const CenterProduct& shown : products_) {
        if (shown.id == wanted) {
            return shown;
        }
    }
    return std::nullopt;
}

QString CenterModel::pageName() const {
    return QString::fromStdString(CenterPages::rawValue(page_));
}

void CenterModel::openPage(const QString& name) {
    for (CenterPage page : {CenterPage::all, CenterPage::mine, CenterPage::updates,
                            CenterPage::feedback, CenterPage::settings}) {
        if (CenterPages::rawValue(page) == name.toStdString()) {
            setPage(page);
            if (page == CenterPage::mine) {
                refreshInstalled();
            }
            return;
        }
    }
}

void CenterModel::checkToolUpdates() {
    setPage(CenterPage::updates);
    checkUpdates();
}

QString CenterModel::detailSectionTitle(CenterDetailSection section) {
    return QString::fromStdString(CenterPages::rawValue(section));
}

void CenterModel::showDetails(const QString& id, CenterDetailSection section) {
    if (std::optional<CenterProduct> shown = product(id)) {
        showDetails(*shown, section);
    }
}

void CenterModel::closeDetails() {
    setSelected(std::nullopt);
}

void CenterModel::performAction(const QString& id) {
    if (std::optional<CenterProduct> shown = product(id)) {
        performAction(*shown);
    }
}

void CenterModel::showPackage(const QString& id) {
    if (std::optional<CenterProduct> shown = product(id)) {
        showPackage(*shown);
    }
}

QString CenterModel::actionTitle(const QString& id) const {
    std::optional<CenterProduct> shown = product(id);
    return shown ? QString::fromStdString(actionTitle(*shown)) : QString();
}

QString CenterModel::detailStatus(const QString& id) const {
    std::optional<CenterProduct> shown = product(id);
    return shown ? QString::fromStdString(detailStatus(*shown)) : QString();
}

bool CenterModel::isPreviewOnly(const QString& id) const {
    return CenterCore::previewOnlyProductIDs().contains(id.toStdString());
}

bool CenterModel::canAct(const QString& id) const {
    return !busy() && !isPreviewOnly(id) && product(id).has_value();
}

QUrl CenterModel::iconURL(const QString& id) const {
    return resourceURL(CenterRules::iconName(id.toStdString()) + ".png");
}

QString CenterModel::firstFeedbackProduct() {
    return QString::fromUtf8(CenterCore::firstFeedbackProduct().id);
}

QString CenterModel::lastCheckedLine() const {
    if (!lastChecked_.isValid()) {
        return "已检测本机软件版本";
    }
    return "最近检查：" + QLocale(QLocale::Chinese, QLocale::China)
                              .toString(lastChecked_.toLocalTime(), "yyyy年M月d日 HH:mm");
}

QString CenterModel::installedLine() const {
    return "已安装 " + QString::number(installedCount()) + " 款工具";
}

QString CenterModel::versionLine() const {
    return "版本 " + QString::fromStdString(version_);
}

QUrl CenterModel::wordmarkURL() const {
    return resourceURL("KESWordmark.svg");
}

QUrl CenterModel::resourceURL(const std::string& name) const {
    const fs::path file = setup_.resources / name;
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        return {};
    }
    return QUrl::fromLocalFile(QString::fromStdString(file.string()));
}
