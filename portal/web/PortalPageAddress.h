#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

// A portal destination as the view names it ("guide", "community" or "support" and a product
// id), with what the view shows of it: title, product line and the address to embed.
class PortalPageAddress : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString destination READ destination WRITE setDestination NOTIFY changed)
    Q_PROPERTY(QString productID READ productID WRITE setProductID NOTIFY changed)
    // Identifies the destination: a new one gets a new page.
    Q_PROPERTY(QString destinationID READ destinationID NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    // "KESTRYN " and the product's name; empty for the support page or an unknown product.
    Q_PROPERTY(QString productLine READ productLine NOTIFY changed)
    // Empty when the product is not one of the portal's.
    Q_PROPERTY(QUrl embeddedURL READ embeddedURL NOTIFY changed)

  public:
    using QObject::QObject;

    [[nodiscard]] const QString& destination() const { return destination_; }
    void setDestination(const QString& destination);
    [[nodiscard]] const QString& productID() const { return productID_; }
    void setProductID(const QString& productID);

    [[nodiscard]] QString destinationID() const;
    [[nodiscard]] QString title() const;
    [[nodiscard]] QString productLine() const;
    [[nodiscard]] QUrl embeddedURL() const;

  Q_SIGNALS:
    void changed();

  private:
    QString destination_ = QStringLiteral("guide");
    QString productID_;
};
