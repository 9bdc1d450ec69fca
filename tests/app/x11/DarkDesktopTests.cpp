// The real application under a dark desktop theme (GTK's dark Adwaita through
// Qt's GTK platform theme): what it shows stays light, the menu bar included.

#include "acceptance/WindowServer.h"
#include "platform/display/X11RootGrabber.h"

#include <QDir>
#include <QLibraryInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;

namespace {

double meanLightness(const QImage &image) {
  double sum = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      sum += image.pixelColor(x, y).lightnessF();
  return sum / (image.width() * image.height());
}

TEST(DarkDesktop, TheWelcomeWindowAndItsMenuBarStayLight) {
  ASSERT_TRUE(QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platformthemes/libqgtk3.so"))
      << "Qt's GTK platform theme brings the dark desktop (scripts/install-deps)";
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("HOME", home.path());
  environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
  environment.insert("XDG_DATA_HOME", home.filePath("data"));
  environment.insert("QT_QPA_PLATFORMTHEME", "gtk3");
  environment.insert("GTK_THEME", "Adwaita:dark");
  environment.insert("CREL_STATUS_ITEM", "none");
  environment.remove("QT_SCALE_FACTOR");
  QProcess crel;
  crel.setProcessEnvironment(environment);
  crel.setStandardOutputFile(QProcess::nullDevice());
  crel.setStandardErrorFile(QProcess::nullDevice());
  crel.start(CREL_EXECUTABLE, {});
  ASSERT_TRUE(crel.waitForStarted());

  acceptance::WindowServer server;
  QRect window;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        const auto shown = server.find(crel.processId(), QStringLiteral("Crel"));
        window = shown && shown->viewable ? shown->bounds : QRect();
        return !window.isEmpty();
      },
      20000));
  if (!window.isEmpty()) {
    X11RootGrabber grabber;
    // Painted once it is mapped: wait for the window's face, then read the bar.
    EXPECT_TRUE(QTest::qWaitFor([&] { return meanLightness(grabber.grab(window)) > 0.75; }, 10000))
        << "the window is light";
    const QImage bar = grabber.grab(QRect(window.topLeft(), QSize(window.width(), 18)));
    EXPECT_GT(meanLightness(bar), 0.75) << "the menu bar is light";
  }
  crel.terminate();
  crel.waitForFinished(10000);
}

} // namespace
