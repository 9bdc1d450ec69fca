#include "platform/base/DescriptorLimit.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/resource.h>

using namespace crel;

// The instance takes every descriptor it may; a program it starts, which may
// use select(), gets the usual limit back.
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

  QProcess child;
  child.setChildProcessModifier(&DescriptorLimit::restoreInChild);
  child.start("sh", {"-c", "ulimit -Sn"});
  ASSERT_TRUE(child.waitForFinished(10'000));
  EXPECT_EQ(child.readAllStandardOutput().trimmed(), "1024");
  // A detached start too.
  QTemporaryDir dir;
  const QString written = dir.filePath("limit");
  ASSERT_TRUE(DescriptorLimit::startDetached("sh", {"-c", "ulimit -Sn > \"$1\".part && mv \"$1\".part \"$1\"", "sh", written}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(written); }, 10'000));
  QFile file(written);
  file.open(QIODevice::ReadOnly);
  EXPECT_EQ(file.readAll().trimmed(), "1024");
  ::setrlimit(RLIMIT_NOFILE, &before);
}
