#pragma once

#include "model/CenterModel.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QString>
#include <QStringList>

// The products of one part of the window as a list model: one row per product, each role a
// title, state or enabled flag the model decides. The rows follow the model: they are replaced
// when the set of products in scope changes, and only the rows whose texts may have changed are
// announced.
class CenterProductList : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(CenterModel* center READ center WRITE setCenter NOTIFY centerChanged)
    Q_PROPERTY(Scope scope READ scope WRITE setScope NOTIFY scopeChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

  public:
    enum Role {
        ProductIDRole = Qt::UserRole + 1,
        NameRole,
        KindRole,
        SummaryRole,
        DetailRole,
        FeaturesRole,
        ReleaseLineRole,
        NotesRole,
        RequirementRole,
        IconURLRole,
        FallbackSymbolRole,
        IsPreviewOnlyRole,
        IsInstalledRole,
        IsBusyRole,
        CanActRole,
        ActionTitleRole,
        DetailStatusRole,
        OfferLineRole,
        StatusSymbolRole,
        StatusTextRole,
    };
    Q_ENUM(Role)

    // Which products a list shows.
    enum class Scope {
        All,
        // All but the featured product.
        Others,
        Featured,
        Installed,
        Updates,
        // The product whose detail is open.
        Selected,
    };
    Q_ENUM(Scope)

    explicit CenterProductList(QObject* parent = nullptr);

    [[nodiscard]] CenterModel* center() const { return center_; }
    void setCenter(CenterModel* center);
    [[nodiscard]] Scope scope() const { return scope_; }
    void setScope(Scope scope);
    [[nodiscard]] int count() const { return static_cast<int>(ids_.size()); }

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

  Q_SIGNALS:
    void centerChanged();
    void scopeChanged();
    void countChanged();

  private:
    [[nodiscard]] QStringList idsInScope() const;
    // Replaces the rows when other products are in scope.
    void follow();
    // Announces new texts in every row: the products themselves changed.
    void followProducts();
    void announceRows(const QStringList& ids);

    QPointer<CenterModel> center_;
    Scope scope_ = Scope::All;
    QStringList ids_;
};
