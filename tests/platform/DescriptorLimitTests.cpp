#include "platform/base/DescriptorLimit.h"
#include "platform/files/ResourceLocator.h"
#include "platform/image/ImageDecoder.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

#include <sys/resource.h>

using namespace crel;

namespace {

QByteArray waitForFile(const QString &path) {
  static_cast<void>(QTest::qWaitFor([&] { return QFile::exists(path); }, 10'000));
  return test::contents(path).trimmed();
}

} // namespace

// The instance takes every descriptor it may; a program it starts, which may
// use select(), gets the usual limit back, however it is started.
TEST(DescriptorLimit, TheProcessTakesItsHardLimitAndItsChildrenTheOldOne) {
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
  if (before.rlim_max != RLIM_INFINITY && before.rlim_max <= 1024)
    GTEST_SKIP() << "the hard limit leaves nothing to raise";
  const rlimit usual{1024, before.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &usual), 0);

  DescriptorLimit::raise();
  rlimit raised{};
  ::getrlimit(RLIMIT_NOFILE, &raised);
  EXPECT_EQ(raised.rlim_cur, before.rlim_max);

  QTemporaryDir dir;
  const QString written = dir.filePath("limit");
  const QString report = QString("ulimit -Sn > '%1.part' && mv '%1.part' '%1'\n").arg(written);
  const QString decoder = ResourceLocator::bundleDirectory() + "/bin/crel-heif-decoder";
  const struct {
    const char *name;
    std::function<QByteArray()> childsLimit;
  } rows[] = {
      {"a child with the modifier",
       [] {
         QProcess child;
         child.setChildProcessModifier(&DescriptorLimit::restoreInChild);
         child.start("sh", {"-c", "ulimit -Sn"});
         child.waitForFinished(10'000);
         return child.readAllStandardOutput().trimmed();
       }},
      {"a detached start",
       [&] {
         DescriptorLimit::startDetached("sh", {"-c", report});
         return waitForFile(written);
       }},
      {"the image decoder's helper",
       [&] {
         // A helper that sets back the limit it is handed, as the real one does.
         const QString bundle = dir.filePath("Copy.app");
         QDir().mkpath(bundle + "/bin");
         test::writeFile(bundle + "/Info.json", "{}");
         test::writeFile(bundle + "/bin/crel-heif-decoder",
                         ("#!/bin/sh\n[ \"$1\" = --descriptor-limit ] && ulimit -Sn \"$2\"\n" + report).toUtf8());
         QFile::setPermissions(bundle + "/bin/crel-heif-decoder", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
         ResourceLocator::setBundleDirectoryOverride(bundle);
         ImageDecoder::decode(test::contents(CREL_SOURCE_DIR "/tests/app/heic/quadrants-800x500.heic"));
         ResourceLocator::setBundleDirectoryOverride({});
         return waitForFile(written);
       }},
      {"the real image decoder, at its start",
       [&] {
         QProcess child;
         child.start(decoder, {"--descriptor-limit", "1024"});
         child.waitForStarted();
         QByteArray limit;
         static_cast<void>(QTest::qWaitFor([&] {
           const QRegularExpressionMatch m =
               QRegularExpression("Max open files +(\\d+)")
                   .match(test::contents(QString("/proc/%1/limits").arg(child.processId())));
           limit = m.captured(1).toLatin1();
           return limit == "1024";
         }));
         child.kill();
         child.waitForFinished();
         return limit;
       }},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    QFile::remove(written);
    EXPECT_EQ(row.childsLimit(), "1024");
  }

  // A program that cannot run is a failed start, so that callers fall back.
  test::writeFile(dir.filePath("not-executable"), "#!/bin/sh\n");
  for (const QString &program :
       {QString("crel-no-such-program"), dir.filePath("missing"), dir.filePath("not-executable"), dir.path()})
    EXPECT_FALSE(DescriptorLimit::startDetached(program)) << qPrintable(program);
  ::setrlimit(RLIMIT_NOFILE, &before);
}
