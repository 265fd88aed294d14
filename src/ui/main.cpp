#include "ui/velmora_app.h"

int main(int argc, char** argv) {
  velmora::CVelmoraApp app(argc, argv);
  return app.InitInstance();
}
