#include "ui/drop_edit.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "ui/dropped_path.h"

namespace velmora {

CDropEdit::CDropEdit(QWidget* parent) : QLineEdit(parent) { setAcceptDrops(true); }

CDropEdit::~CDropEdit() = default;

bool CDropEdit::TakeDroppedPath(const QString& path) {
  const QString resolved = ResolveDroppedPath(path);
  const QFileInfo info(resolved);
  if (!info.exists()) return false;
  const bool folder = info.isDir();
  const bool accepted = folder ? acceptMode_ != kFilesOnly : acceptMode_ != kFoldersOnly;
  if (!accepted) return false;
  setText(resolved);
  return true;
}

void CDropEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
    return;
  }
  QLineEdit::dragEnterEvent(event);
}

void CDropEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
    return;
  }
  QLineEdit::dragMoveEvent(event);
}

void CDropEdit::dropEvent(QDropEvent* event) {
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
