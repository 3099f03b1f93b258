// main() of the window tests: one QApplication for the whole test binary (offscreen platform).
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "platform/translations.h"

int main(int argc, char** argv) {
  // ctest lists the cases by running the binary without the tests' environment: never need a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  // The windows under test speak Chinese as the program does.
  chengling::installChineseTranslations();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
