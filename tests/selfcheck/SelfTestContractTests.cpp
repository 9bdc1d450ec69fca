#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The failure contract of the real self-test mode, end to end: a probe build
// of it runs a check that holds, then a deliberately wrong one.
TEST(SelfTestContract, FirstFailureGivesOneLineStatusOneAndNoRoot) {
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  const QString tmp = scratch.filePath("tmp");
  ASSERT_TRUE(QDir().mkdir(tmp));
  const QString note = scratch.filePath("root-note");

  QProcess probe;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TMPDIR", tmp);
  env.insert("PROBE_ROOT_NOTE", note);
  probe.setProcessEnvironment(env);
  probe.start(QStringLiteral(CREL_SELFTEST_PROBE), {"--self-test"});
  ASSERT_TRUE(probe.waitForFinished(120000));
  const QString out = QString::fromUtf8(probe.readAllStandardOutput());
  const QString err = QString::fromUtf8(probe.readAllStandardError());

  EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(probe.exitCode(), 1);
  EXPECT_EQ(err, "FAIL: Undo history is capped at 99 steps\n");

  // The check before it passed; nothing ran after it, no closing line.
  EXPECT_EQ(out, "PASS: Probe document keeps the fixture's size\n");

  // The run's root was in the temporary folder and is gone.
  QFile noted(note);
  ASSERT_TRUE(noted.open(QIODevice::ReadOnly));
  const QString root = QString::fromUtf8(noted.readAll());
  EXPECT_EQ(QFileInfo(root).absolutePath(), QFileInfo(tmp).absoluteFilePath());
  EXPECT_FALSE(QFileInfo::exists(root));
  EXPECT_TRUE(QDir(tmp).entryList({"crel-test-*"}, QDir::AllEntries | QDir::Hidden).isEmpty());
}

// Passing lines are flushed as they are printed, so a log that merges both
// streams keeps them before the failure line.
TEST(SelfTestContract, MergedLogKeepsPassesBeforeTheFailure) {
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  QProcess probe;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TMPDIR", scratch.path());
  env.insert("PROBE_ROOT_NOTE", scratch.filePath("root-note"));
  probe.setProcessEnvironment(env);
  probe.setProcessChannelMode(QProcess::MergedChannels);
  probe.start(QStringLiteral(CREL_SELFTEST_PROBE), {"--self-test"});
  ASSERT_TRUE(probe.waitForFinished(120000));
  EXPECT_EQ(QString::fromUtf8(probe.readAll()),
            "PASS: Probe document keeps the fixture's size\nFAIL: Undo history is capped at 99 steps\n");
  EXPECT_EQ(probe.exitCode(), 1);
}
