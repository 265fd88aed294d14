#include "ui/velmora_app.h"

#include "ui/resources.h"
#include "ui/velmora_dlg.h"

namespace velmora {

CVelmoraApp::CVelmoraApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Velmora"));
  // Ties the window to the installed desktop file: the launcher shows the job's
  // progress on that entry.
  setDesktopFileName(QStringLiteral(VELMORA_DESKTOP_ID));
  setWindowIcon(ProgramIcon());
}

CVelmoraApp::~CVelmoraApp() = default;

int CVelmoraApp::InitInstance() {
  CVelmoraDlg window;
  window.exec();
  return 0;
}

}  // namespace velmora
