#include "ui/resources.h"

#include <QDir>

// Q_INIT_RESOURCE declares a function in the global namespace, so it is called from
// here and not from inside namespace velmora.
static void RegisterVelmoraUiResources() { Q_INIT_RESOURCE(velmora_ui); }

namespace velmora {

void InitUiResources() {
  static const bool registered = [] {
    RegisterVelmoraUiResources();
    return true;
  }();
  (void)registered;
}

QIcon ProgramIcon() {
  InitUiResources();
  QIcon icon;
  for (int size : {16, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/velmora/icon_%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace velmora
