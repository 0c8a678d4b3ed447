#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstring>

#include "platform/Clock.h"
#include "platform/TermiosPort.h"
#include "shell/QtDialogs.h"
#include "shell/TKT5100Form.h"
#include "station/FontSetup.h"

namespace {

// Answered before QApplication exists: it needs a display and would refuse to
// start over ssh, where these two are asked most.
int AnswerInfoOption(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("kt6100 %s\n", KT6100_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf(
          "usage: kt6100 [Qt options]\n"
          "\n"
          "The KT6100 electronic-ballast tester's companion program (a window).\n"
          "It finds the instrument through COM1 or COM2 in its working folder\n"
          "(a symbolic link to the serial device), else /dev/ttyS0 or /dev/ttyS1.\n"
          "\n"
          "  --version        print the version and exit\n"
          "  --help, -h       this text\n"
          "  -platform NAME   Qt's platform plugin (e.g. xcb, offscreen)\n"
          "\n"
          "kt6100-cli runs tests without a window; kt6100-sim is a simulated instrument.\n");
      return 0;
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int answered = AnswerInfoOption(argc, argv); answered >= 0) return answered;

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
