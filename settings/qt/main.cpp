// ZUBETOB: the settings window.
#include <QApplication>

#include "system_services.h"
#include "window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zubeto::SystemServices services;
  zubeto::ZBTB window(services);
  services.set_dialog_parent(&window);
  if (!window.load()) return 0;
  window.show();
  return app.exec();
}
