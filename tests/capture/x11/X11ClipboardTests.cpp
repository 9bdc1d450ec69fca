#include "X11TestScreens.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "platform/clipboard/Pasteboard.h"
#include "support/TestSupport.h"

#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;

namespace {

// Another X client reads the clipboard, so the bytes really cross the
// server (within one process Qt answers from its own copy).
QByteArray pasteElsewhere(const QString &target) {
  QProcess xclip;
  xclip.start("xclip", {"-selection", "clipboard", "-t", target, "-o"});
  // Not waitForFinished: our event loop must run to answer the request.
  EXPECT_TRUE(QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10000));
  EXPECT_EQ(xclip.exitCode(), 0) << xclip.readAllStandardError().toStdString();
  return xclip.readAllStandardOutput();
}

} // namespace

TEST(X11Clipboard, ACopiedScreenshotPastesInAnotherProgram) {
  if (test::layout().isEmpty() || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "needs scripts/xvfb-testbed";
  ASSERT_FALSE(QStandardPaths::findExecutable("xclip").isEmpty()) << "scripts/install-deps installs xclip";
  test::TemporarySettings settings;
  AnnotationPreferences preferences(settings.store());
  QImage image = test::filledImage({64, 48}, Qt::white);
  QPainter(&image).fillRect(QRect(8, 6, 10, 10), Qt::red);
  CrelDocument document(image, preferences);

  document.copy(Pasteboard::general());
  EXPECT_TRUE(pasteElsewhere("TARGETS").split('\n').contains("image/png"));
  const QImage pasted = QImage::fromData(pasteElsewhere("image/png"), "PNG");
  ASSERT_EQ(pasted.size(), QSize(64, 48));
  EXPECT_EQ(pasted.pixel(10, 8), qRgb(255, 0, 0));
  EXPECT_EQ(pasted.pixel(40, 40), qRgb(255, 255, 255));
}
