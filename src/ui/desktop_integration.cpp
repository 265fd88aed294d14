#include "ui/desktop_integration.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace velmora {

namespace {

const char kLauncherPath[] = "/org/halvern/velmora/launcher";
const char kLauncherInterface[] = "com.canonical.Unity.LauncherEntry";
const char kFileManagerService[] = "org.freedesktop.FileManager1";
const char kFileManagerPath[] = "/org/freedesktop/FileManager1";

void OpenFolder(const QString& path) {
  QProcess::startDetached(QStringLiteral("xdg-open"), {QFileInfo(path).absolutePath()});
}

}  // namespace

QString LauncherAppUri() {
  return QStringLiteral("application://%1.desktop").arg(QLatin1String(VELMORA_DESKTOP_ID));
}

QVariantMap LauncherStateProperties(ProgressState state) {
  return {{QStringLiteral("progress-visible"), state != ProgressState::kHidden}};
}

QVariantMap LauncherProgressProperties(uint64_t done, uint64_t total) {
  // A processor may report more done than total while it finishes; the launcher
  // expects a fraction, so it is kept within 0..1 and a zero total shows 0.
  double fraction = total == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(total);
  fraction = std::clamp(fraction, 0.0, 1.0);
  return {{QStringLiteral("progress"), fraction}, {QStringLiteral("progress-visible"), true}};
}

void SendLauncherUpdate(const QVariantMap& properties) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(kLauncherPath),
                                                   QLatin1String(kLauncherInterface),
                                                   QStringLiteral("Update"));
  signal << LauncherAppUri() << properties;
  bus.send(signal);
}

void RevealInFileManager(const QString& path) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    OpenFolder(path);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QLatin1String(kFileManagerService), QLatin1String(kFileManagerPath),
      QLatin1String(kFileManagerService), QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
  // Asynchronous: starting a file manager through the bus can take seconds, and the
  // window must not freeze meanwhile.
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                   [path](QDBusPendingCallWatcher* finished) {
                     if (QDBusPendingReply<>(*finished).isError()) OpenFolder(path);
                     finished->deleteLater();
                   });
}

}  // namespace velmora
