#pragma once
// The application: prepares Qt, shows the main window as the program's only working
// window, and ends when it closes. Nothing is read from the command line or from
// stored settings.

#include <QApplication>

namespace velmora {

class Application : public QApplication {
  Q_OBJECT

 public:
  Application(int& argc, char** argv);
  ~Application() override;

  // Shows the main window modally; returns the program's exit status once it has
  // closed.
  int Run();
};

}  // namespace velmora
