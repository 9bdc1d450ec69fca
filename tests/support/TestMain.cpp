#include <QApplication>

#include <gtest/gtest.h>

// Headless, fixed-DPI Qt for every suite, also when a binary is run by hand.
int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QT_FONT_DPI"))
    qputenv("QT_FONT_DPI", "96");
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
#ifdef CREL_TEST_BUNDLE_DIR
  if (qEnvironmentVariableIsEmpty("CREL_BUNDLE_DIR"))
    qputenv("CREL_BUNDLE_DIR", CREL_TEST_BUNDLE_DIR);
#endif
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
