#pragma once
// Helpers for the window tests: answering message boxes, dropping files, and the
// factories of the test classes.

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace velmora {
class MainWindow;

namespace uitest {

std::unique_ptr<QObject> MakeWindowFieldsTest();
std::unique_ptr<QObject> MakeWindowOptionsTest();
std::unique_ptr<QObject> MakeWindowJobTest();
std::unique_ptr<QObject> MakeDropTest();
std::unique_ptr<QObject> MakeUiPartsTest();

// What a message box showed.
struct BoxRecord {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QWidget* parent = nullptr;
  QList<QMessageBox::StandardButton> buttons;
};

// Watches the window's message boxes: records each one, runs an optional check
// while it is on screen, and answers it with the chosen button (OK by default).
class BoxAnswerer {
 public:
  explicit BoxAnswerer(MainWindow& window);
  std::vector<BoxRecord> boxes;
  QMessageBox::StandardButton answer = QMessageBox::Ok;
  std::function<void(QMessageBox&)> whileShown;
};

// Drops the local files onto the widget the way a file manager does: drag enter,
// then drop.
void DropFiles(QWidget* target, const QStringList& paths);

// A small valid HWPX package with one PNG picture, written with the test support's
// own zip writer.
void WriteSmallHwpx(const QString& path);

}  // namespace uitest
}  // namespace velmora
