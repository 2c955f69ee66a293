#include "portal/web/PortalPageAddress.h"

#include "portal/PortalDestination.h"
#include "portal/PortalLinks.h"

namespace {

// Anything but "guide" and "community" names the support page, which needs no product.
PortalDestination destinationOf(const QString& destination, const QString& productID) {
    if (destination == QLatin1String("guide")) {
        return PortalDestination::guide(productID.toStdString());
    }
    if (destination == QLatin1String("community")) {
        return PortalDestination::community(productID.toStdString());
    }
    return PortalDestination::support();
}

} // namespace

void PortalPageAddress::setDestination(const QString& destination) {
    if (destination_ != destination) {
        destination_ = destination;
        Q_EMIT changed();
    }
}

void PortalPageAddress::setProductID(const QString& productID) {
    if (productID_ != productID) {
        productID_ = productID;
        Q_EMIT changed();
    }
}

QString PortalPageAddress::destinationID() const {
    return QString::fromStdString(destinationOf(destination_, productID_).id());
}

QString PortalPageAddress::title() const {
    return QString::fromStdString(destinationOf(destination_, productID_).title());
}

QString PortalPageAddress::productLine() const {
    std::optional<std::string> name = destinationOf(destination_, productID_).productName();
    return name ? QStringLiteral("KESTRYN ") + QString::fromStdString(*name) : QString();
}

QUrl PortalPageAddress::embeddedURL() const {
    std::optional<std::string> address =
        PortalLinks::embeddedURL(destinationOf(destination_, productID_));
    return address ? QUrl(QString::fromStdString(*address), QUrl::StrictMode) : QUrl();
}
