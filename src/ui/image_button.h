#pragma once
// A push button drawn entirely from four pictures: normal, pressed, focused and
// disabled. Its text is kept for keyboard mnemonics and accessibility but not drawn
// (the pictures carry it).

#include <QAbstractButton>
#include <QPixmap>
#include <QSize>

namespace velmora {

class ImageButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit ImageButton(const QString& text, QWidget* parent = nullptr);
  ~ImageButton() override;

  // False when any picture could not be loaded; the button then paints nothing
  // for that state but still works.
  bool LoadBitmaps(const QString& normal, const QString& pressed, const QString& focused,
                   const QString& disabled);

  QSize sizeHint() const override;
  // The picture the button shows in its present state.
  const QPixmap& CurrentPixmap() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap normal_;
  QPixmap pressed_;
  QPixmap focused_;
  QPixmap disabled_;
};

}  // namespace velmora
