#include "ui/dropped_path.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace velmora {

namespace {

// A desktop entry is a few hundred bytes; anything bigger dropped under that name is
// not read whole into memory.
constexpr qint64 kMaxDesktopEntryBytes = 64 * 1024;
// Link chains longer than this are cycles or damage; the system gives up at 40 too.
constexpr int kMaxLinkHops = 40;

QString UnescapeDesktopValue(const QString& value) {
  QString out;
  out.reserve(value.size());
  for (qsizetype i = 0; i < value.size(); ++i) {
    if (value[i] != u'\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const QChar next = value[++i];
    switch (next.unicode()) {
      case u's': out += u' '; break;
      case u'n': out += u'\n'; break;
      case u't': out += u'\t'; break;
      case u'r': out += u'\r'; break;
      default: out += next; break;
    }
  }
  return out;
}

QString FollowSymbolicLinks(const QString& path) {
  QString current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    QFileInfo info(current);
    if (!info.isSymLink()) return current;
    const QString target = info.symLinkTarget();
    if (target.isEmpty()) return current;
    current = target;
  }
  return path;
}

}  // namespace

QString DesktopLinkTarget(const QString& desktopFile) {
  QFile file(desktopFile);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxDesktopEntryBytes) return {};
  const QString text = QString::fromUtf8(file.read(kMaxDesktopEntryBytes));

  bool inMainGroup = false;
  QString type;
  QString url;
  for (const QString& rawLine : text.split(u'\n')) {
    const QString line = rawLine.trimmed();
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    if (line.startsWith(u'[')) {
      inMainGroup = line == QLatin1String("[Desktop Entry]");
      continue;
    }
    if (!inMainGroup) continue;
    const qsizetype equals = line.indexOf(u'=');
    if (equals <= 0) continue;
    const QString key = line.left(equals).trimmed();
    const QString value = UnescapeDesktopValue(line.mid(equals + 1).trimmed());
    if (key == QLatin1String("Type")) type = value;
    if (key == QLatin1String("URL")) url = value;
  }
  if (type != QLatin1String("Link") || url.isEmpty()) return {};
  if (url.startsWith(u'/')) return url;
  const QUrl parsed(url);
  return parsed.isLocalFile() ? parsed.toLocalFile() : QString();
}

QString ResolveDroppedPath(const QString& path) {
  QString resolved = FollowSymbolicLinks(path);
  if (resolved.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive)) {
    const QString target = DesktopLinkTarget(resolved);
    if (!target.isEmpty()) resolved = FollowSymbolicLinks(target);
  }
  return resolved;
}

}  // namespace velmora
