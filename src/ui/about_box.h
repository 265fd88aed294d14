#pragma once
// The about box: the program icon, the main window's title (name and version) and
// one fixed line, closed with its button, Escape or the close box.

#include <QDialog>

class QLabel;
class QPushButton;

namespace velmora {

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(QWidget* parent = nullptr);
  ~AboutBox() override;

  // The text of the first line: the main window's title, shown as it is.
  void SetTitleText(const QString& title);
  QString TitleText() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* titleLabel_;
  QPushButton* okButton_;
};

}  // namespace velmora
