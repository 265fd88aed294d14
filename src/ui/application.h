#pragma once
// The application: prepares Qt, shows the main window as the program's only working
// window, and ends when it closes. Nothing is read from the command line or from
// stored settings.

#include <QApplication>

namespace velmora {

class CVelmoraApp : public QApplication {
  Q_OBJECT

 public:
  CVelmoraApp(int& argc, char** argv);
  ~CVelmoraApp() override;

  // Shows the main window modally; returns the program's exit status once it has
  // closed.
  int InitInstance();
};

}  // namespace velmora
