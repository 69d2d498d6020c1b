// tarvex: the desktop tool.
#include "app/qt/ctarvex_app.h"

int main(int argc, char** argv) {
  tarvex::CtarvexApp app(argc, argv);
  return app.InitInstance();
}
