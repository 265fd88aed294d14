#include "ui/image_button.h"

#include <QPainter>

namespace velmora {

ImageButton::ImageButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
  setText(text);
  setFocusPolicy(Qt::StrongFocus);
}

ImageButton::~ImageButton() = default;

bool ImageButton::LoadBitmaps(const QString& normal, const QString& pressed,
                                const QString& focused, const QString& disabled) {
  bool ok = normal_.load(normal);
  ok = pressed_.load(pressed) && ok;
  ok = focused_.load(focused) && ok;
  ok = disabled_.load(disabled) && ok;
  updateGeometry();
  update();
  return ok;
}

QSize ImageButton::sizeHint() const {
  return normal_.isNull() ? QSize(84, 20) : normal_.deviceIndependentSize().toSize();
}

const QPixmap& ImageButton::CurrentPixmap() const {
  if (!isEnabled()) return disabled_;
  if (isDown()) return pressed_;
  if (hasFocus()) return focused_;
  return normal_;
}

void ImageButton::paintEvent(QPaintEvent* /*event*/) {
  const QPixmap& picture = CurrentPixmap();
  if (picture.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  // The layout may give the button another size than the pictures'; they are
  // stretched to it rather than cut off.
  painter.drawPixmap(rect(), picture);
}

}  // namespace velmora
