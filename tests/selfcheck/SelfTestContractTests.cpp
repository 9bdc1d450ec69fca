#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The failure contract of the real self-test mode, end to end: a probe build
// of it runs a check that holds, then a deliberately wrong one. It ends with
// one failure line and status 1, after the passing line and before anything
// else; passing lines are flushed as printed, so a log that merges both
// streams keeps them before the failure; the run's root was in the temporary
// folder and is gone.
TEST(SelfTestContract, FirstFailureGivesOneLineStatusOneAndNoRoot) {
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  const QString tmp = scratch.filePath("tmp"), note = scratch.filePath("root-note");
  ASSERT_TRUE(QDir().mkdir(tmp));
  const auto run = [&](QProcess &probe, QProcess::ProcessChannelMode channels) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", tmp);
    env.insert("PROBE_ROOT_NOTE", note);
    probe.setProcessEnvironment(env);
    probe.setProcessChannelMode(channels);
    probe.start(QStringLiteral(CREL_SELFTEST_PROBE), {"--self-test"});
    EXPECT_TRUE(probe.waitForFinished(120000));
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 1);
  };
  const QString passed = "PASS: Probe document keeps the fixture's size\n";
  const QString failed = "FAIL: Undo history is capped at 99 steps\n";

  QProcess separate;
  run(separate, QProcess::SeparateChannels);
  EXPECT_EQ(QString::fromUtf8(separate.readAllStandardError()), failed);
  EXPECT_EQ(QString::fromUtf8(separate.readAllStandardOutput()), passed);
  QFile noted(note);
  ASSERT_TRUE(noted.open(QIODevice::ReadOnly));
  const QString root = QString::fromUtf8(noted.readAll());
  EXPECT_EQ(QFileInfo(root).absolutePath(), QFileInfo(tmp).absoluteFilePath());
  EXPECT_FALSE(QFileInfo::exists(root));
  EXPECT_TRUE(QDir(tmp).entryList({"crel-test-*"}, QDir::AllEntries | QDir::Hidden).isEmpty());

  QProcess merged;
  run(merged, QProcess::MergedChannels);
  EXPECT_EQ(QString::fromUtf8(merged.readAll()), passed + failed);
}
