#include "ArchiveBuilder.h"
#include "SmallFileSystem.h"
#include "update/framework/ArchiveExtractor.h"
#include "update/framework/UpdateError.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace crel::update;
using K = ArchiveEntry::Kind;

namespace {

// Every path under `root`, so that a test can tell that nothing appeared
// outside the destination.
QStringList tree(const QString &root) {
  QStringList paths;
  QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext())
    paths.append(QDir(root).relativeFilePath(it.next()));
  paths.sort();
  return paths;
}

struct Hostile {
  const char *name;
  QList<ArchiveEntry> entries;
  ArchiveExtractor::Limits limits;
};

// Each archive is refused with the unarchive error, and nothing lands beside
// the destination (a sibling "outside" folder is the usual target). Paths
// climbing out with ".." are refused in the end-to-end update run.
TEST(ArchiveExtractor, RefusesHostileArchivesAndNothingEscapesTheDestination) {
  const Hostile cases[] = {
      {"absolute path", {{K::file, "/tmp/crel-absolute-escape", "x"}}, {}},
      {"symlink out", {{K::folder, "app"}, {K::symlink, "app/out", {}, "../../.."}}, {}},
      {"absolute symlink", {{K::symlink, "app-link", {}, "/etc"}}, {}},
      // A link that stays inside cannot be written through later to escape,
      // but one that leaves cannot be followed by a later entry either.
      {"write through link",
       {{K::folder, "app"}, {K::symlink, "app/up", {}, ".."}, {K::symlink, "app/up/x", {}, "../../.."}},
       {}},
      // "self" is one level down by its name but none on disk.
      {"climb through a link to its own folder",
       {{K::folder, "app"}, {K::symlink, "app/self", {}, "."}, {K::symlink, "app/out", {}, "self/self/../../x"}},
       {}},
      {"hardlink", {{K::file, "a", "x"}, {K::hardlink, "b", {}, "a"}}, {}},
      {"device", {{K::characterDevice, "null"}}, {}},
      {"fifo", {{K::fifo, "pipe"}}, {}},
      {"oversize", {{K::file, "big", QByteArray(4096, 'a')}}, {100, 1000}},
      {"oversize in total", {{K::file, "a", QByteArray(600, 'a')}, {K::file, "b", QByteArray(600, 'b')}}, {100, 1000}},
      {"too many entries", {{K::file, "a", "1"}, {K::file, "b", "2"}, {K::file, "c", "3"}}, {2, 0}},
  };
  for (const Hostile &c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("work/dest"));
    const QString archive = root.filePath("a.tar.gz");
    ASSERT_TRUE(writeArchive(archive, c.entries));
    const QStringList before = tree(root.path());
    try {
      ArchiveExtractor::extract(archive, root.filePath("work/dest"), c.limits);
      ADD_FAILURE() << "extracted";
    } catch (const UpdateError &e) {
      EXPECT_EQ(e.code(), UpdateErrorCode::unarchive);
      EXPECT_FALSE(e.description().isEmpty());
    }
    for (const QString &path : tree(root.path()))
      EXPECT_TRUE(before.contains(path) || path.startsWith("work/dest/")) << path.toStdString();
  }
}

// An honest archive comes out whole, inside links kept, and no file keeps a
// setuid, setgid or sticky bit or a group/other write bit.
TEST(ArchiveExtractor, ExtractsAnHonestTreeWithSafeModes) {
  QTemporaryDir root;
  const QString archive = root.filePath("a.tar.gz");
  QList<ArchiveEntry> entries = applicationEntries("Crel.app", "{}");
  entries.append({K::file, "Crel.app/bin/helper", "#!/bin/sh\n", {}, 06777});
  entries.append({K::folder, "Crel.app/Resources", {}, {}, 01777});
  entries.append({K::symlink, "Crel.app/current", {}, "bin/crel"});
  ASSERT_TRUE(writeArchive(archive, entries));
  ArchiveExtractor::extract(archive, root.filePath("dest"));

  const QString app = root.filePath("dest/Crel.app");
  EXPECT_EQ(tree(app), QStringList({"Info.json", "Resources", "bin", "bin/crel", "bin/helper", "current"}));
  EXPECT_EQ(QFileInfo(app + "/current").symLinkTarget(), QFileInfo(app + "/bin/crel").canonicalFilePath());
  for (const char *path : {"/bin/crel", "/bin/helper", "/Resources"}) {
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(app + path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07022, 0) << path;
    EXPECT_EQ(st.st_mode & 0100, 0100) << path;
  }
}

// A write that fails for want of space fails the extraction, however
// generous the limits, instead of leaving a file that is mostly a hole.
TEST(ArchiveExtractor, AFullDiskFailsTheExtraction) {
  QTemporaryDir root;
  ASSERT_TRUE(QDir(root.path()).mkpath("dest"));
  SmallFileSystem disk(root.filePath("dest"), 1 << 20);
  if (!disk.mounted())
    GTEST_SKIP() << "mounting a small file system needs root";
  QByteArray noise(3 << 20, Qt::Uninitialized);
  for (qsizetype i = 0; i < noise.size(); ++i)
    noise[i] = char((i * 7919 + (i >> 9) * 104729) >> 3);
  const QString archive = root.filePath("a.tar.gz");
  ASSERT_TRUE(
      writeArchive(archive, applicationEntries("Crel.app", "{}") << ArchiveEntry{K::file, "Crel.app/big", noise}));
  try {
    ArchiveExtractor::extract(archive, root.filePath("dest"), {100, qint64(1) << 30});
    ADD_FAILURE() << "extracted onto a full disk";
  } catch (const UpdateError &e) {
    EXPECT_EQ(e.code(), UpdateErrorCode::unarchive);
    EXPECT_TRUE(e.description().contains("not enough free space")) << e.description().toStdString();
  }
}

} // namespace
