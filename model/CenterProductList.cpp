#include "model/CenterProductList.h"

#include "core/Registry.h"
#include "model/CenterRules.h"
#include "model/ViewText.h"

using ViewText::text;
using ViewText::texts;

CenterProductList::CenterProductList(QObject* parent) : QAbstractListModel(parent) {}

void CenterProductList::setCenter(CenterModel* center) {
    if (center_ == center) {
        return;
    }
    if (center_) {
        disconnect(center_, nullptr, this, nullptr);
    }
    center_ = center;
    if (center_) {
        connect(center_, &CenterModel::productsChanged, this, &CenterProductList::followProducts);
        for (auto signal : {&CenterModel::installedChanged, &CenterModel::selectedChanged}) {
            connect(center_, signal, this, &CenterProductList::follow);
        }
        // The rows whose installed copy changed; every row when work starts or ends, since no
        // button takes a press meanwhile; the busy row alone for a download's progress.
        connect(center_, &CenterModel::productsUpdated, this, &CenterProductList::announceRows);
        connect(center_, &CenterModel::busyProductChanged, this, [this] { announceRows(ids_); });
        connect(center_, &CenterModel::progressChanged, this, [this] {
            if (const auto& busy = center_->busyProduct()) {
                announceRows({QString::fromStdString(*busy)});
            }
        });
    }
    follow();
    Q_EMIT centerChanged();
}

void CenterProductList::setScope(Scope scope) {
    if (scope_ != scope) {
        scope_ = scope;
        follow();
        Q_EMIT scopeChanged();
    }
}

QStringList CenterProductList::idsInScope() const {
    QStringList ids;
    if (!center_) {
        return ids;
    }
    if (scope_ == Scope::Updates) {
        for (const CenterProduct& product : center_->updates()) {
            ids << text(product.id);
        }
        return ids;
    }
    if (scope_ == Scope::Selected) {
        if (const auto& selected = center_->selected();
            selected && center_->product(text(selected->id))) {
            ids << text(selected->id);
        }
        return ids;
    }
    for (const CenterProduct& product : center_->products()) {
        const bool featured = product.id == CenterCore::featuredProduct().id;
        if (scope_ == Scope::All || (scope_ == Scope::Others && !featured) ||
            (scope_ == Scope::Featured && featured) ||
            (scope_ == Scope::Installed && center_->installedCopy(product))) {
            ids << text(product.id);
        }
    }
    return ids;
}

void CenterProductList::follow() {
    QStringList ids = idsInScope();
    if (ids == ids_) {
        return;
    }
    beginResetModel();
    ids_ = std::move(ids);
    endResetModel();
    Q_EMIT countChanged();
}

void CenterProductList::followProducts() {
    if (idsInScope() == ids_) {
        announceRows(ids_);
    } else {
        follow();
    }
}

void CenterProductList::announceRows(const QStringList& ids) {
    for (const QString& id : ids) {
        if (const qsizetype row = ids_.indexOf(id); row >= 0) {
            Q_EMIT dataChanged(index(static_cast<int>(row)), index(static_cast<int>(row)));
        }
    }
}

int CenterProductList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant CenterProductList::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        !center_) {
        return {};
    }
    const QString& id = ids_.at(index.row());
    std::optional<CenterProduct> product = center_->product(id);
    if (!product) {
        return {};
    }
    const std::optional<InstalledApp> installed = center_->installedCopy(*product);
    switch (role) {
    case ProductIDRole:
        return id;
    case NameRole:
        return text(product->name);
    case KindRole:
        return text(product->kind);
    case SummaryRole:
        return text(product->summary);
    case DetailRole:
        return text(product->detail);
    case FeaturesRole:
        return texts(product->features);
    case ReleaseLineRole:
        return product->release
                   ? text("版本 " + product->release->version + "（" + product->release->build +
                          "） · " + product->release->publishedAt)
                   : QString();
    case NotesRole:
        return product->release ? texts(product->release->notes) : QStringList();
    case RequirementRole:
        return text(CenterRules::requirementLine(*product));
    case IconURLRole:
        return center_->iconURL(id);
    case FallbackSymbolRole:
        return text(CenterRules::fallbackSymbol(product->id));
    case IsPreviewOnlyRole:
        return center_->isPreviewOnly(id);
    case IsInstalledRole:
        return installed.has_value();
    case IsBusyRole:
        return center_->busyProduct() == product->id;
    case CanActRole:
        return center_->canAct(id);
    case ActionTitleRole:
        return center_->actionTitle(id);
    case DetailStatusRole:
        return center_->detailStatus(id);
    case OfferLineRole:
        return text(CenterRules::offerLine(*product));
    case StatusSymbolRole:
        return text(CenterRules::productStatus(*product, installed, center_->busyProduct()).symbol);
    case StatusTextRole:
        return text(CenterRules::productStatus(*product, installed, center_->busyProduct()).text);
    default:
        return {};
    }
}

QHash<int, QByteArray> CenterProductList::roleNames() const {
    return {
        {ProductIDRole, "productID"},
        {NameRole, "name"},
        {KindRole, "kind"},
        {SummaryRole, "summary"},
        {DetailRole, "detail"},
        {FeaturesRole, "features"},
        {ReleaseLineRole, "releaseLine"},
        {NotesRole, "notes"},
        {RequirementRole, "requirement"},
        {IconURLRole, "iconURL"},
        {FallbackSymbolRole, "fallbackSymbol"},
        {IsPreviewOnlyRole, "isPreviewOnly"},
        {IsInstalledRole, "isInstalled"},
        {IsBusyRole, "isBusy"},
        {CanActRole, "canAct"},
        {ActionTitleRole, "actionTitle"},
        {DetailStatusRole, "detailStatus"},
        {OfferLineRole, "offerLine"},
        {StatusSymbolRole, "statusSymbol"},
        {StatusTextRole, "statusText"},
    };
}
