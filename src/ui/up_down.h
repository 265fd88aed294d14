#pragma once
// A pair of arrow buttons that is not tied to any field: it only reports steps, and
// its owner decides what a step does. It takes the keyboard focus like any control,
// and the Up and Down keys step it too.

#include <QWidget>

class QToolButton;

namespace velmora {

class UpDownControl : public QWidget {
  Q_OBJECT

 public:
  explicit UpDownControl(QWidget* parent = nullptr);
  ~UpDownControl() override;

  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

 signals:
  // up is true for the upper arrow (or the Up key).
  void Stepped(bool up);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QToolButton* up_;
  QToolButton* down_;
};

}  // namespace velmora
