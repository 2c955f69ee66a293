#include "dockplugin/KestrynDockling.h"

#include "dockplugin/DockTile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <dlfcn.h>
#include <memory>
#include <optional>

namespace {

// The icon in the plug-in's own bundle, found from the library that holds this class (the
// application that loaded the plug-in lives elsewhere): <bundle>/Contents/MacOS/<library> beside
// <bundle>/Contents/Resources/AppIcon.icns.
std::optional<QString> iconResource() {
    Dl_info library{};
    if (::dladdr(&KestrynDockling::staticMetaObject, &library) == 0 ||
        library.dli_fname == nullptr) {
        return std::nullopt;
    }
    QDir contents = QFileInfo(QFile::decodeName(library.dli_fname)).absoluteDir();
    if (!contents.cdUp()) {
        return std::nullopt;
    }
    const QString icon = contents.filePath(QStringLiteral("Resources/AppIcon.icns"));
    if (!QFileInfo(icon).isFile()) {
        return std::nullopt;
    }
    return icon;
}

} // namespace

void KestrynDockling::setDockTile(DockTile* tile) {
    if (tile == nullptr) {
        return;
    }
    const std::optional<QString> icon = iconResource();
    if (!icon) {
        return;
    }
    const QImage image(*icon, "icns");
    if (image.isNull()) {
        return;
    }
    auto view = std::make_unique<DockImageView>(QRectF(QPointF(0, 0), QSizeF(tile->size())));
    view->setAutoresizingMask(DockAutoresizing::widthSizable | DockAutoresizing::heightSizable);
    view->setImage(image);
    view->setImageScaling(DockImageScaling::proportionallyUpOrDown);
    tile->setContentView(std::move(view));
    tile->display();
}
