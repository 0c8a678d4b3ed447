#include <QApplication>
#include <QScreen>

#include "app/FontSetup.h"
#include "platform/Clock.h"
#include "platform/TermiosPort.h"
#include "shell/QtDialogs.h"
#include "shell/TKT5100Form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  kt::SetApplicationIdentity();
  kt::InstallFontSubstitutions();

  kt::QtDialogs dialogs;
  kt::TermiosPort port;
  kt::SystemClock clock;
  kt::TKT5100Form main({dialogs, port, clock});
  dialogs.SetParent(&main);
  // Fill the screen first: without a window manager there is nobody to
  // carry out the maximise.
  if (const QScreen* screen = main.screen()) main.resize(screen->availableGeometry().size());
  main.showMaximized();
  return app.exec();
}
