#include "ui/up_down.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

QToolButton* MakeArrow(Qt::ArrowType type, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setArrowType(type);
  button->setAutoRepeat(true);
  // The pair as a whole is the tab stop; the halves never take the focus.
  button->setFocusPolicy(Qt::NoFocus);
  button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  return button;
}

}  // namespace

UpDownControl::UpDownControl(QWidget* parent)
    : QWidget(parent),
      up_(MakeArrow(Qt::UpArrow, this)),
      down_(MakeArrow(Qt::DownArrow, this)) {
  setFocusPolicy(Qt::StrongFocus);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(up_);
  layout->addWidget(down_);
  connect(up_, &QToolButton::clicked, this, [this] { emit Stepped(true); });
  connect(down_, &QToolButton::clicked, this, [this] { emit Stepped(false); });
}

UpDownControl::~UpDownControl() = default;

void UpDownControl::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
    emit Stepped(event->key() == Qt::Key_Up);
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace velmora
