#pragma once

#include <QImage>
#include <QRectF>
#include <QSizeF>

class QPainter;

// The bits of a view's autoresizing mask that this layer honours.
namespace DockAutoresizing {
inline constexpr unsigned widthSizable = 2;
inline constexpr unsigned heightSizable = 16;
} // namespace DockAutoresizing

// How an image view fits its image into its frame; the values are the platform's.
enum class DockImageScaling {
    proportionallyDown = 0,
    proportionallyUpOrDown = 3,
};

// A rectangle of a dock tile that draws itself.
class DockView {
  public:
    explicit DockView(const QRectF& frame) : frame_(frame) {}
    DockView(const DockView&) = delete;
    DockView& operator=(const DockView&) = delete;
    virtual ~DockView();

    [[nodiscard]] QRectF frame() const { return frame_; }
    [[nodiscard]] unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }

    // Follows its container from one size to another: a sizable dimension grows or shrinks by
    // the container's change, the others stay.
    void containerResized(QSizeF oldSize, QSizeF newSize);

    virtual void draw(QPainter& painter) const = 0;

  private:
    QRectF frame_;
    unsigned autoresizingMask_ = 0;
};

// A view that shows one image inside its frame, centred.
class DockImageView : public DockView {
  public:
    using DockView::DockView;

    [[nodiscard]] const QImage& image() const { return image_; }
    void setImage(const QImage& image) { image_ = image; }
    [[nodiscard]] DockImageScaling imageScaling() const { return imageScaling_; }
    void setImageScaling(DockImageScaling scaling) { imageScaling_ = scaling; }

    void draw(QPainter& painter) const override;

  private:
    QImage image_;
    DockImageScaling imageScaling_ = DockImageScaling::proportionallyDown;
};
