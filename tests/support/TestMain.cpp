#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

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
  // Widgets such as file dialogs keep Qt's own user settings (QtProject.conf,
  // shared by every Qt application): keep the suites' out of the user's.
  QTemporaryDir qtSettings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qtSettings.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, qtSettings.path());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
