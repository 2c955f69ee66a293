#include "model/CenterBackupList.h"

#include "model/CenterRules.h"
#include "model/ViewText.h"

#include <QDateTime>
#include <chrono>

using ViewText::text;

CenterBackupList::CenterBackupList(QObject* parent) : QAbstractListModel(parent) {}

void CenterBackupList::setHistory(CenterHistory* history) {
    if (history_ == history) {
        return;
    }
    if (history_) {
        disconnect(history_, nullptr, this, nullptr);
    }
    history_ = history;
    if (history_) {
        connect(history_, &CenterHistory::changed, this, &CenterBackupList::follow);
    }
    follow();
    Q_EMIT historyChanged();
}

void CenterBackupList::setProduct(const QString& product) {
    if (product_ != product) {
        product_ = product;
        follow();
        Q_EMIT productChanged();
    }
}

void CenterBackupList::follow() {
    std::vector<CenterInstaller::Backups::Backup> rows;
    if (history_) {
        rows = history_->backupsOf(product_.toStdString());
    }
    if (rows == rows_) {
        return;
    }
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
    Q_EMIT countChanged();
}

int CenterBackupList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant CenterBackupList::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const CenterInstaller::Backups::Backup& backup =
        rows_.at(static_cast<std::size_t>(index.row()));
    switch (role) {
    case TitleRole:
        return text("版本 " + backup.version + "（" + backup.build + "）");
    case LineRole: {
        const QDateTime date = QDateTime::fromMSecsSinceEpoch(
            std::chrono::duration_cast<std::chrono::milliseconds>(backup.date.time_since_epoch())
                .count());
        return date.toString("yyyy-MM-dd HH:mm") + " · " +
               text(CenterRules::byteText(backup.bytes));
    }
    case PathRole:
        return text(backup.path.string());
    default:
        return {};
    }
}

QHash<int, QByteArray> CenterBackupList::roleNames() const {
    return {{TitleRole, "title"}, {LineRole, "line"}, {PathRole, "path"}};
}
