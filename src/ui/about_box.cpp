#include "ui/about_box.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialog_units.h"
#include "ui/resources.h"
#include "ui/texts.h"

namespace velmora {

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent), titleLabel_(new QLabel(this)), okButton_(new QPushButton(this)) {
  setWindowTitle(QString::fromUtf8(ui_text::kAboutTitle));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  const DialogUnits du(font());

  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(du.X(20), du.Y(20)));
  icon->setFixedSize(du.X(20), du.Y(20));
  icon->setAlignment(Qt::AlignCenter);

  // A title may hold "&"; it is shown as written, never as a keyboard mnemonic.
  titleLabel_->setTextFormat(Qt::PlainText);
  titleLabel_->setObjectName(QStringLiteral("aboutTitle"));
  titleLabel_->setMinimumWidth(du.X(145));
  auto* second = new QLabel(QString::fromUtf8(ui_text::kAboutLine), this);
  second->setTextFormat(Qt::PlainText);
  second->setMinimumWidth(du.X(135));

  okButton_->setText(QString::fromUtf8(ui_text::kAboutOk));
  okButton_->setObjectName(QStringLiteral("aboutOk"));
  okButton_->setDefault(true);
  okButton_->setCursor(Qt::PointingHandCursor);
  okButton_->setMinimumSize(du.X(33), du.Y(25));
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  texts->setSpacing(du.Y(4));
  texts->addWidget(titleLabel_);
  texts->addWidget(second);
  texts->addStretch();

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(du.X(10), du.Y(7), du.X(7), du.Y(7));
  layout->setSpacing(du.X(2));
  layout->addWidget(icon, 0, Qt::AlignTop);
  layout->addLayout(texts, 1);
  layout->addWidget(okButton_, 0, Qt::AlignTop);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

AboutBox::~AboutBox() = default;

void AboutBox::SetTitleText(const QString& title) { titleLabel_->setText(title); }

QString AboutBox::TitleText() const { return titleLabel_->text(); }

void AboutBox::keyPressEvent(QKeyEvent* event) {
  // Help inside the about box is answered and does nothing: there is no further help
  // to show, and it must not open a second box.
  if (event->key() == Qt::Key_F1) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace velmora
