// kt6100-cli: the tester from a script or a line controller, without a
// window. The runs are the window's (its steps, decoders, files, reports,
// verdicts and log); only the window is missing. The commands are in the
// kt_cli library; this file only makes the application they run in.
#include <QCoreApplication>
#include <QGuiApplication>

#include <csignal>
#include <cstring>
#include <memory>

#include "cli/CliCommands.h"
#include "station/FontSetup.h"
#include "station/RunRecorder.h"

int main(int argc, char* argv[]) {
  using namespace kt;
  // A reader that went away (`| head -n 1`) must not kill the program between
  // a run and its log: the failed write is seen and told instead.
  std::signal(SIGPIPE, SIG_IGN);
  // A report needs fonts and a painter, never a display; a served station
  // prints one when its controller asks.
  bool report = false;
  for (int i = 1; i < argc; ++i)
    report = report || std::strncmp(argv[i], "--report", 8) == 0 || std::strcmp(argv[i], "serve") == 0;
  std::unique_ptr<QCoreApplication> app;
  if (report) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QGuiApplication>(argc, argv);
    InstallFontSubstitutions();
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  SetApplicationIdentity();
  QCoreApplication::setApplicationVersion(ProgramVersion());
  return RunCommandLine(QCoreApplication::arguments());
}
