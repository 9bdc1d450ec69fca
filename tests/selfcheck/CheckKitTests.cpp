#include "selfcheck/Check.h"
#include "selfcheck/Fixtures.h"
#include "selfcheck/IsolatedEnvironment.h"
#include "selfcheck/NativeTests.h"
#include "selfcheck/SelfTestMode.h"
#include "selfcheck/TemporaryRoot.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

using namespace crel;
using namespace crel::NativeTests;

namespace {

std::string readAll(std::FILE *file) {
  std::rewind(file);
  std::string text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, file))
    text += buffer;
  return text;
}

} // namespace

// Removal with the files inside, also on failure, is checked through the
// driver below and the self-test's own contract.
TEST(CheckKit, TemporaryRootIsPrivateAndFresh) {
  const TemporaryRoot first;
  const TemporaryRoot second;
  EXPECT_NE(first.path(), second.path());
  const QFileInfo info(first.path());
  EXPECT_TRUE(info.isDir());
  EXPECT_EQ(info.absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
  EXPECT_EQ(info.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0);
}

TEST(CheckKit, IsolatedEnvironmentKeepsSharedObjectsPrivateAndRestoresThem) {
  QTemporaryDir folder;
  Pasteboard *before = &Pasteboard::general();
  {
    IsolatedEnvironment environment(folder.path());
    EXPECT_EQ(&AnnotationPreferences::shared(), &environment.annotationPreferences());
    EXPECT_EQ(&EditorSizePreferences::shared(), &environment.editorSizePreferences());
    EXPECT_EQ(&Pasteboard::general(), &environment.pasteboard());
    // A fresh private store: defaults, whatever the user chose.
    EXPECT_EQ(AnnotationPreferences::shared().style(), AnnotationStyle::formal);
    EXPECT_EQ(EditorSizePreferences::shared().size(), EditorSize::large);

    AnnotationPreferences::shared().setStyle(AnnotationStyle::doodle);
    EditorSizePreferences::shared().setSize(EditorSize::compact);
    EXPECT_EQ(environment.settings().stringForKey("annotationStyle"), QString("doodle"));
    EXPECT_EQ(environment.settings().stringForKey("editorWindowSize"), QString("compact"));
    EXPECT_TRUE(environment.settings().path().startsWith(folder.path()));
    Pasteboard::general().writeText("kept in the run");
    EXPECT_EQ(environment.pasteboard().text, QString("kept in the run"));
  }
  EXPECT_EQ(&Pasteboard::general(), before);
  EXPECT_TRUE(QDir(folder.path()).isEmpty()); // the private settings file is gone
}

// Each suite runs isolated on its own copy of the fixture and the run ends
// at the first failure, whatever it throws, reported on one line.
TEST(Driver, RunsIsolatedSuitesInOrderAndStopsAtTheFirstFailure) {
  std::ostringstream out;
  QString root;
  Pasteboard *const outside = &Pasteboard::general();
  bool isolated = false;
  const SuiteTable suites{
      {"Paints",
       [&](SuiteContext &c) {
         root = c.root().path();
         isolated =
             &Pasteboard::general() != outside && AnnotationPreferences::shared().style() == AnnotationStyle::formal;
         QImage image = c.image();
         image.fill(Qt::black);
       }},
      {"Looks",
       [](SuiteContext &c) {
         expect(c.image().size() == QSize(800, 600) && c.image().pixelColor(400, 20) == QColor(Qt::white),
                "fixture untouched");
         expect(&c.driverDocument() == &c.driverDocument(), "one driver document");
       }},
      {"Throws", [](SuiteContext &) { throw std::runtime_error("disk full\nwhile saving"); }},
      {"After", [](SuiteContext &) { pass("after"); }},
  };
  std::FILE *err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  EXPECT_EQ(report(suites, out, err), 1);
  EXPECT_EQ(readAll(err), "FAIL: disk full while saving\n");
  std::fclose(err);
  EXPECT_TRUE(isolated);
  EXPECT_EQ(out.str(), "PASS: fixture untouched\nPASS: one driver document\n");
  EXPECT_FALSE(root.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(root));
}

TEST(SelfTestModeSwitch, FoundAnywhereOnTheCommandLine) {
  char program[] = "crel", other[] = "--capture", self[] = "--self-test", prefix[] = "--self-test-x";
  char *withSwitch[] = {program, other, self};
  char *without[] = {program, prefix, other};
  char *programOnly[] = {self}; // argv[0] is the program, never a switch
  EXPECT_TRUE(SelfTestMode::requested(3, withSwitch));
  EXPECT_FALSE(SelfTestMode::requested(3, without));
  EXPECT_FALSE(SelfTestMode::requested(1, programOnly));
}
