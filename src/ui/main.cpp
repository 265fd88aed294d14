#include "ui/application.h"

int main(int argc, char** argv) {
  velmora::Application app(argc, argv);
  return app.Run();
}
