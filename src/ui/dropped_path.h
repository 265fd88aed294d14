#pragma once
// What a path dropped onto the window stands for: symbolic links and desktop link
// files (".desktop" entries of type Link) are replaced by the file they point to.

#include <QString>

namespace velmora {

// The local path a desktop link file points to; empty when the file is no readable
// link to a local file (an application entry, a web address, a damaged file).
QString DesktopLinkTarget(const QString& desktopFile);

// The dropped path with links resolved; the path itself when it is no link or the
// link cannot be followed.
QString ResolveDroppedPath(const QString& path);

}  // namespace velmora
