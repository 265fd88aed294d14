#include "ui/application.h"

#include "ui/resources.h"
#include "ui/main_window.h"

namespace velmora {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Velmora"));
  // Ties the window to the installed desktop file: the launcher shows the job's
  // progress on that entry.
  setDesktopFileName(QStringLiteral(VELMORA_DESKTOP_ID));
  setWindowIcon(ProgramIcon());
}

Application::~Application() = default;

int Application::Run() {
  MainWindow window;
  window.exec();
  return 0;
}

}  // namespace velmora
