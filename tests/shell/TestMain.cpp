#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "app/FontSetup.h"

// Widget tests need no display: Qt's offscreen platform renders in memory.
// Set here because test discovery runs the binary without the test
// environment.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  kt::InstallFontSubstitutions();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
