#pragma once
// What the window asks of the Linux desktop: progress on the launcher or taskbar
// entry of the program, and showing a file in the file manager. Both are best
// effort: without a session bus or a file manager nothing happens and nothing is
// reported.

#include <QString>
#include <QVariantMap>

#include <cstdint>

#include "core/job_host.h"

namespace velmora {

// The launcher entry the progress belongs to: the program's desktop file.
QString LauncherAppUri();

// Properties of a launcher update that hides or shows the progress.
QVariantMap LauncherStateProperties(ProgressState state);
// Properties that show done/total as a fraction between 0 and 1.
QVariantMap LauncherProgressProperties(uint64_t done, uint64_t total);

// Sends a launcher update signal on the session bus; does nothing without a bus.
void SendLauncherUpdate(const QVariantMap& properties);

// Opens the file manager on the file's folder with the file selected; falls back
// to opening the folder with the desktop's default handler.
void RevealInFileManager(const QString& path);

}  // namespace velmora
