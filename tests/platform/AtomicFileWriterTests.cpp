#include "platform/files/AtomicFileWriter.h"
#include "platform/files/FileError.h"
#include "platform/image/PngEncoder.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace crel;
using test::contents;

namespace {

QStringList entries(const QString &folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

mode_t permissions(const QString &path) {
  struct stat st {};
  ::stat(QFile::encodeName(path).constData(), &st);
  return st.st_mode & 07777;
}

// The sentence a failing write throws; empty when it does not throw.
QString failure(const QString &path, const QByteArray &data, AtomicFileWriter::Existing existing) {
  try {
    AtomicFileWriter::write(path, data, existing);
  } catch (const FileError &e) {
    return e.message();
  }
  return {};
}

TEST(AtomicFileWriter, WritesReplacesOrRefusesAndLeavesNothingBehind) {
  QTemporaryDir dir;
  const QString path = dir.filePath("S.png");
  AtomicFileWriter::write(path, "first");
  EXPECT_EQ(contents(path), "first");
  AtomicFileWriter::write(path, "second, longer");
  EXPECT_EQ(contents(path), "second, longer");

  EXPECT_EQ(failure(path, "third", AtomicFileWriter::Existing::refuse), "The file “S.png” already exists.");
  EXPECT_EQ(contents(path), "second, longer");

  AtomicFileWriter::write(dir.filePath("S (2).png"), "new", AtomicFileWriter::Existing::refuse);
  AtomicFileWriter::write(dir.filePath("private"), "secret", AtomicFileWriter::Existing::replace, 0600);
  EXPECT_EQ(permissions(dir.filePath("private")), mode_t(0600));
  EXPECT_EQ(entries(dir.path()), QStringList({"S (2).png", "S.png", "private"}));
}

TEST(AtomicFileWriter, NewFilesFollowTheUmaskReplacedOnesKeepTheirModePrivateOnesStayPrivate) {
  struct Case {
    mode_t umask;
    std::optional<mode_t> existing; // the file's mode before the write
    std::optional<mode_t> requested;
    mode_t expected;
  };
  const Case cases[] = {
      {022, {}, {}, 0644},   {027, {}, {}, 0640},   {077, {}, {}, 0600},   {002, {}, {}, 0664},
      {022, 0600, {}, 0600}, {022, 0664, {}, 0664}, {000, {}, 0600, 0600}, {022, 0644, 0600, 0600},
  };
  QTemporaryDir dir;
  const mode_t saved = ::umask(022);
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << std::oct << "umask " << c.umask << " existing " << c.existing.value_or(0)
                                    << " requested " << c.requested.value_or(0));
    const QString path = dir.filePath("S.png");
    QFile::remove(path);
    if (c.existing) {
      AtomicFileWriter::write(path, "before");
      ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), *c.existing), 0);
    }
    ::umask(c.umask);
    AtomicFileWriter::write(path, "after", AtomicFileWriter::Existing::replace, c.requested);
    ::umask(022);
    EXPECT_EQ(permissions(path), c.expected);
    EXPECT_EQ(contents(path), "after");
  }
  ::umask(saved);
}

TEST(AtomicFileWriter, FailuresSayWhyAndTouchNothing) {
  QTemporaryDir dir;
  // Tests run as root, so failures are provoked by the shape of the tree, not by modes.
  EXPECT_EQ(failure(dir.filePath("missing/S.png"), "x", AtomicFileWriter::Existing::replace),
            "The file “S.png” couldn’t be saved because the folder “missing” doesn’t exist.");
  AtomicFileWriter::write(dir.filePath("plain"), "a file");
  EXPECT_EQ(failure(dir.filePath("plain/S.png"), "x", AtomicFileWriter::Existing::replace),
            "The file “S.png” couldn’t be saved because “plain” is not a folder.");
  ASSERT_TRUE(QDir(dir.path()).mkdir("taken.png"));
  EXPECT_EQ(failure(dir.filePath("taken.png"), "x", AtomicFileWriter::Existing::replace),
            "The file “taken.png” couldn’t be saved because a folder with that name already exists.");
  EXPECT_EQ(failure(dir.filePath("taken.png"), "x", AtomicFileWriter::Existing::refuse),
            "The file “taken.png” already exists.");
  EXPECT_EQ(entries(dir.path()), QStringList({"plain", "taken.png"}));
  EXPECT_EQ(contents(dir.filePath("plain")), "a file");
}

TEST(AtomicFileWriter, KilledWritersNeverLeaveAPartialImage) {
  // Two different PNGs of a few megabytes, rewritten in a loop by a child
  // process that is killed at a random moment; the final name must always hold
  // one of them whole (or nothing, before the first write).
  QImage a(1600, 1000, QImage::Format_ARGB32_Premultiplied);
  QImage b = a;
  std::mt19937 rng(9);
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      a.setPixel(x, y, qRgb(int(rng() & 255), x & 255, y & 255));
      b.setPixel(x, y, qRgba(y & 255, int(rng() & 255), x & 255, 128));
    }
  const QByteArray pngs[2] = {PngEncoder::encode(a), PngEncoder::encode(b)};
  ASSERT_GT(pngs[0].size(), 1'000'000);

  QTemporaryDir dir;
  const QString path = dir.filePath("Capture.png");
  // Things that look like ours but are not, or are in use: all must stay.
  const QStringList others = {".Capture.png.Ab12Cd", "Capture.png.crel-tmp", ".folder.crel-tmp", ".link.crel-tmp",
                              ".held.png.crel-tmp"};
  ASSERT_TRUE(QFile(dir.filePath(others[0])).open(QIODevice::WriteOnly));
  ASSERT_TRUE(QFile(dir.filePath(others[1])).open(QIODevice::WriteOnly));
  ASSERT_TRUE(QDir(dir.path()).mkdir(others[2]));
  ASSERT_TRUE(QFile::link(path, dir.filePath(others[3])));
  QFile held(dir.filePath(others[4]));
  ASSERT_TRUE(held.open(QIODevice::WriteOnly));
  ASSERT_EQ(::flock(held.handle(), LOCK_EX), 0); // a writer at work in another process
  int sawWhole = 0;
  for (int round = 0; round < 12; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        for (int i = 0; i < 200; ++i)
          AtomicFileWriter::write(path, pngs[i % 2]);
      } catch (...) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    // On a loaded machine the child may not be scheduled before the kill;
    // the first round waits for one whole write so a file is always judged.
    for (int waited = 0; round == 0 && !QFile::exists(path) && waited < 10'000; ++waited)
      ::usleep(1000);
    ::usleep(useconds_t(2000 + rng() % 40000));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    const QByteArray now = contents(path);
    if (QFile::exists(path)) {
      EXPECT_TRUE(now == pngs[0] || now == pngs[1]) << "round " << round << ": " << now.size() << " bytes";
      ++sawWhole;
    }
    QImage decoded;
    if (!now.isEmpty()) {
      EXPECT_TRUE(decoded.loadFromData(now, "PNG"));
    }
  }
  EXPECT_GT(sawWhole, 0);
  // A killed writer leaves at most one temporary file per target, and the
  // next write in the folder removes it.
  QStringList leftovers = entries(dir.path());
  leftovers.removeOne("Capture.png");
  for (const QString &other : others)
    leftovers.removeOne(other);
  EXPECT_LE(leftovers.size(), 1) << leftovers.join(", ").toStdString();
  AtomicFileWriter::write(dir.filePath("Other.png"), pngs[0]);
  QStringList expected = others + QStringList{"Capture.png", "Other.png"};
  QStringList now = entries(dir.path());
  expected.sort();
  now.sort();
  EXPECT_EQ(now, expected);
}

} // namespace
