// ZUBETOB: the settings window.
#include <QApplication>
#include <QLocale>

#include "system_services.h"
#include "window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // English under every locale but a Japanese one.
  zubeto::install_translation(QLocale::system());
  zubeto::SystemServices services;
  zubeto::ZBTB window(services);
  services.set_dialog_parent(&window);
  if (!window.load()) return 0;
  window.show();
  return app.exec();
}
