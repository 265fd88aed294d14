#include "ui_test_support.h"

#include <QApplication>
#include <QBuffer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

#include "support/test_support.h"
#include "ui/main_window.h"

namespace velmora::uitest {

BoxAnswerer::BoxAnswerer(MainWindow& window) {
  window.SetMessageBoxObserver([this](QMessageBox& box) {
    BoxRecord record;
    record.title = box.windowTitle();
    record.text = box.text();
    record.icon = box.icon();
    record.parent = box.parentWidget();
    for (QAbstractButton* button : box.buttons()) {
      record.buttons.push_back(box.standardButton(button));
    }
    boxes.push_back(record);
    if (whileShown) whileShown(box);
    QAbstractButton* button = box.button(answer);
    if (button == nullptr) button = box.button(QMessageBox::Ok);
    if (button != nullptr) button->click();
  });
}

void DropFiles(QWidget* target, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) urls.push_back(QUrl::fromLocalFile(path));
  data.setUrls(urls);
  const QPoint point = target->rect().center();
  QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

void WriteSmallHwpx(const QString& path) {
  QImage image(64, 48, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.fillRect(image.rect(), QColor("#3070c0"));
  painter.fillRect(QRect(8, 8, 30, 20), QColor("#f0d020"));
  painter.end();
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  // Stored without compression, so that there is something to gain.
  image.save(&buffer, "PNG", 100);
  testing::HwpxPicture picture;
  picture.id = "image1";
  picture.href = "BinData/image1.png";
  picture.mediaType = "image/png";
  picture.bytes = png.toStdString();
  testing::WriteZip(path.toStdString(), testing::MakeHwpxItems({picture}));
}

}  // namespace velmora::uitest
