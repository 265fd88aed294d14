#include "ui/drop_line_edit.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "ui/dropped_path.h"

namespace velmora {

DropLineEdit::DropLineEdit(QWidget* parent) : QLineEdit(parent) { setAcceptDrops(true); }

DropLineEdit::~DropLineEdit() = default;

bool DropLineEdit::TakeDroppedPath(const QString& path) {
  const QString resolved = ResolveDroppedPath(path);
  const QFileInfo info(resolved);
  if (!info.exists()) return false;
  const bool folder = info.isDir();
  const bool accepted = folder ? acceptMode_ != kFilesOnly : acceptMode_ != kFoldersOnly;
  if (!accepted) return false;
  setText(resolved);
  return true;
}

void DropLineEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
    return;
  }
  QLineEdit::dragEnterEvent(event);
}

void DropLineEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
    return;
  }
  QLineEdit::dragMoveEvent(event);
}

void DropLineEdit::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasUrls()) {
    QLineEdit::dropEvent(event);
    return;
  }
  // Only the first item counts; the others of a multiple drop are ignored.
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && urls.first().isLocalFile()) TakeDroppedPath(urls.first().toLocalFile());
  event->acceptProposedAction();
}

}  // namespace velmora
