#include "dockplugin/DockView.h"

#include <QPainter>
#include <algorithm>

DockView::~DockView() = default;

void DockView::containerResized(QSizeF oldSize, QSizeF newSize) {
    const QSizeF change = newSize - oldSize;
    if ((autoresizingMask_ & DockAutoresizing::widthSizable) != 0) {
        frame_.setWidth(frame_.width() + change.width());
    }
    if ((autoresizingMask_ & DockAutoresizing::heightSizable) != 0) {
        frame_.setHeight(frame_.height() + change.height());
    }
}

void DockImageView::draw(QPainter& painter) const {
    if (image_.isNull() || frame().isEmpty()) {
        return;
    }
    qreal scale = std::min(frame().width() / image_.width(), frame().height() / image_.height());
    if (imageScaling_ == DockImageScaling::proportionallyDown) {
        scale = std::min(scale, 1.0);
    }
    QRectF target(QPointF(), QSizeF(image_.size()) * scale);
    target.moveCenter(frame().center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image_);
}
