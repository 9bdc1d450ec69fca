#include "support/LaunchProcess.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Runs a tool in `folder` and waits for it to end.
crel::test::ProcessResult run(const QString &tool, const QStringList &arguments, const QString &folder) {
  return crel::test::runProgram(tool, arguments, QProcessEnvironment::systemEnvironment(), folder, 60'000);
}

QStringList entries(const QString &folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

TEST(Tools, HelpAndUnknownOptionsPrintTheUsageAndStartNothing) {
  const struct {
    const char *tool;
    QStringList arguments;
  } cases[] = {
      {CREL_TOOL_RENDER, {"--help"}},
      {CREL_TOOL_RENDER, {"-h"}},
      {CREL_TOOL_RENDER, {"--gallery"}},
      {CREL_TOOL_RENDER, {"--image", "in.png", "--marks", "m.json", "--out", "-x"}},
      {CREL_TOOL_EDITOR, {"--help"}},
      {CREL_TOOL_EDITOR, {"shot.png", "--unknown"}},
      {CREL_TOOL_CHROME_GALLERY, {"--help"}},
      {CREL_TOOL_CHROME_GALLERY, {"--scale", "2", "-x"}},
      {CREL_TOOL_HOLD_SHORTCUT, {"-h", "0x32"}},
      {CREL_TOOL_RECOGNIZE_TEXT, {"-h"}},
      {CREL_TOOL_RECOGNIZE_TEXT, {"--fixture", "--unknown"}},
      {CREL_TOOL_RECOGNIZE_TEXT, {"--scale", "x", "shot.png"}},
      {CREL_TOOL_CAPTURE, {"--help"}},
      {CREL_TOOL_CAPTURE_PROBE, {"-h"}},
      {CREL_TOOL_CAPTURE_PROBE, {"out", "1,2,three,4"}},
      {CREL_TOOL_TEST_MONITORS, {"--help"}},
      {CREL_TOOL_SCREEN_GRAB, {"--help"}},
      {CREL_TOOL_UPDATE_TOOL, {"--help"}},
      {CREL_TOOL_UPDATE_TOOL, {"generate-keys", "--force"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(QString(QFileInfo(c.tool).fileName() + ' ' + c.arguments.join(' ')).toStdString());
    QTemporaryDir folder;
    const crel::test::ProcessResult r = run(c.tool, c.arguments, folder.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("usage", Qt::CaseInsensitive)) << r.err.toStdString();
    EXPECT_EQ(entries(folder.path()), QStringList());
  }
}

TEST(Tools, ImagesAreReadUprightWithinThePixelRuleAndFailedWritesFail) {
  QTemporaryDir folder;
  const auto path = [&](const char *name) { return folder.filePath(name); };
  // Left half red, right half blue, stored sideways with an orientation tag.
  const QImage halves = crel::test::generatedImage(
      {64, 32}, [](int x, int) { return x < 32 ? qRgb(255, 0, 0) : qRgb(0, 0, 255); }, QImage::Format_RGB32);
  crel::test::writeFile(path("sideways.jpg"), crel::test::jpegWithOrientation(halves, 6));
  crel::test::writeFile(path("marks.json"), "[]");
  // Just over the pixel rule: the header alone says so.
  QImage large(10'000, 8'001, QImage::Format_Mono);
  ASSERT_FALSE(large.isNull());
  large.fill(0);
  ASSERT_TRUE(large.save(path("large.png")));

  crel::test::ProcessResult r =
      run(CREL_TOOL_RENDER, {"--image", "sideways.jpg", "--marks", "marks.json", "--out", "out.png"}, folder.path());
  ASSERT_EQ(r.status, 0) << r.err.toStdString();
  const QImage out(path("out.png"));
  ASSERT_EQ(out.size(), QSize(32, 64));
  EXPECT_GT(qRed(out.pixel(16, 8)), 200);
  EXPECT_GT(qBlue(out.pixel(16, 56)), 200);

  const struct {
    const char *tool;
    QStringList arguments;
  } failures[] = {
      {CREL_TOOL_RENDER, {"--image", "large.png", "--marks", "marks.json", "--out", "big.png"}},
      {CREL_TOOL_RENDER, {"--image", "sideways.jpg", "--marks", "marks.json", "--out", "missing/out.png"}},
      {CREL_TOOL_RECOGNIZE_TEXT, {"large.png"}},
      {CREL_TOOL_RECOGNIZE_TEXT, {"--fixture", "missing/page.png"}},
  };
  for (const auto &c : failures) {
    SCOPED_TRACE(QString(QFileInfo(c.tool).fileName() + ' ' + c.arguments.join(' ')).toStdString());
    r = run(c.tool, c.arguments, folder.path());
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_FALSE(r.err.isEmpty());
  }
  EXPECT_EQ(entries(folder.path()), QStringList({"large.png", "marks.json", "out.png", "sideways.jpg"}));
}
