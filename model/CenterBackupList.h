#pragma once

#include "model/CenterHistory.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QString>
#include <vector>

// One product's backups, newest first, as a list model for its detail: each row's title
// ("版本 1.0（1）"), its line (date and size) and the path a restore names. The rows come from
// the history's last reading and are replaced only when that product's backups changed.
class CenterBackupList : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(CenterHistory* history READ history WRITE setHistory NOTIFY historyChanged)
    Q_PROPERTY(QString product READ product WRITE setProduct NOTIFY productChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

  public:
    enum Role {
        TitleRole = Qt::UserRole + 1,
        LineRole,
        PathRole,
    };
    Q_ENUM(Role)

    explicit CenterBackupList(QObject* parent = nullptr);

    [[nodiscard]] CenterHistory* history() const { return history_; }
    void setHistory(CenterHistory* history);
    [[nodiscard]] QString product() const { return product_; }
    void setProduct(const QString& product);
    [[nodiscard]] int count() const { return static_cast<int>(rows_.size()); }

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

  Q_SIGNALS:
    void historyChanged();
    void productChanged();
    void countChanged();

  private:
    void follow();

    QPointer<CenterHistory> history_;
    QString product_;
    std::vector<CenterInstaller::Backups::Backup> rows_;
};
