#include "dockplugin/DockTile.h"

#include <QPainter>

void DockTile::setSize(QSize size) {
    if (contentView_) {
        contentView_->containerResized(size_, size);
    }
    size_ = size;
}

void DockTile::display() {
    image_ = QImage(size_, QImage::Format_ARGB32_Premultiplied);
    image_.fill(Qt::transparent);
    if (contentView_) {
        QPainter painter(&image_);
        contentView_->draw(painter);
    }
}
