#pragma once

#include "dockplugin/DockView.h"

#include <QImage>
#include <QSize>
#include <memory>

// The tile the Dock shows for an application: its size, one content view, and the picture the
// tile last displayed.
class DockTile {
  public:
    explicit DockTile(QSize size) : size_(size) {}

    [[nodiscard]] QSize size() const { return size_; }
    // Resizes the tile; the content view follows as its autoresizing mask says.
    void setSize(QSize size);

    [[nodiscard]] DockView* contentView() const { return contentView_.get(); }
    void setContentView(std::unique_ptr<DockView> view) { contentView_ = std::move(view); }

    // Redraws the tile's picture from its content view.
    void display();
    // What the tile shows; null until it is first displayed.
    [[nodiscard]] const QImage& image() const { return image_; }

  private:
    QSize size_;
    std::unique_ptr<DockView> contentView_;
    QImage image_;
};
