#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>

#include "station/FontSetup.h"

// Widget tests need no display: Qt's offscreen platform renders in memory.
// Set here because test discovery runs the binary without the test
// environment.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Settings, limit profiles and the run log of this process only.
  char home[] = "/tmp/kt-shell-home-XXXXXX";
  if (mkdtemp(home)) {
    setenv("XDG_CONFIG_HOME", home, 1);
    setenv("XDG_DATA_HOME", home, 1);
  }
  QApplication app(argc, argv);
  kt::SetApplicationIdentity();
  kt::InstallFontSubstitutions();
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return status;
}
