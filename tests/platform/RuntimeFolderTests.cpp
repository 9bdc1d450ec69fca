#include "platform/files/FileError.h"
#include "platform/files/FileLock.h"
#include "platform/files/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace crel;

namespace {

constexpr const char *identifier = "org.example.runtime";

struct Places {
  QTemporaryDir root;
  QString temporary() const { return root.filePath("tmp"); }
  QString cache() const { return root.filePath("cache"); }
  QString shared() const { return temporary() + QString("/%1-%2").arg(identifier).arg(::geteuid()); }
  QString fallback() const { return cache() + QString("/%1/runtime").arg(identifier); }
  QString elsewhere() const { return root.filePath("elsewhere"); }
  QString own() const { return root.filePath("own"); }
  // The shared name taken, so the cache is the place.
  void squat() const { QFile(shared()).open(QIODevice::WriteOnly); }
};

struct Planted {
  const char *name;
  std::function<void(const Places &)> plant;
  std::function<QString(const Places &)> expected;
};

void PrintTo(const Planted &c, std::ostream *os) { *os << c.name; }

void makeFolder(const QString &path, mode_t mode) {
  ASSERT_TRUE(QDir().mkpath(path));
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

class RuntimeFolderPlaces : public testing::TestWithParam<Planted> {};

// A folder of another user, open to everyone: as root one is made; a user
// cannot give a folder away, so the system's own stands in.
void makeAnotherUsersFolder(const QString &path) {
  if (::geteuid() != 0) {
    ASSERT_TRUE(QFile::link(QStringLiteral("/tmp"), path));
    return;
  }
  makeFolder(path, 0777);
  ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
}

// Another local user can make the shared name first, open to everyone or as
// a link: the folder used is then the user's own fixed fallback, the same at
// every launch, and nothing is created through the link. The fallback is
// used only where nobody else can change it; otherwise there is none.
TEST_P(RuntimeFolderPlaces, AreTheUsersOwn) {
  const Planted &c = GetParam();
  Places places;
  makeFolder(places.temporary(), 01777);
  makeFolder(places.elsewhere(), 0700);
  c.plant(places);
  const auto find = [&] { return RuntimeFolder::path(identifier, places.temporary(), places.cache()); };
  const QString folder = find();
  EXPECT_EQ(folder.toStdString(), c.expected(places).toStdString());
  EXPECT_EQ(RuntimeFolder::isPrivate(folder), !folder.isEmpty());
  EXPECT_EQ(find(), folder);
  EXPECT_TRUE(QDir(places.elsewhere()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Rows, RuntimeFolderPlaces,
                         testing::Values(Planted{"AlreadyThere", [](const Places &p) { makeFolder(p.shared(), 0700); },
                                                 [](const Places &p) -> QString { return p.shared(); }},
                                         Planted{"NothingThere", [](const Places &) {},
                                                 [](const Places &p) -> QString { return p.shared(); }},
                                         Planted{"OpenToOthers", [](const Places &p) { makeFolder(p.shared(), 0777); },
                                                 [](const Places &p) -> QString { return p.fallback(); }},
                                         Planted{"ALink",
                                                 [](const Places &p) { QFile::link(p.elsewhere(), p.shared()); },
                                                 [](const Places &p) -> QString { return p.fallback(); }},
                                         Planted{"AFile", [](const Places &p) { p.squat(); },
                                                 [](const Places &p) -> QString { return p.fallback(); }},
                                         Planted{"ACacheOpenToTheGroup",
                                                 [](const Places &p) {
                                                   p.squat();
                                                   makeFolder(p.cache(), 0770);
                                                 },
                                                 [](const Places &) { return QString(); }},
                                         Planted{"ACacheLinkToAnotherUsersFolder",
                                                 [](const Places &p) {
                                                   p.squat();
                                                   makeFolder(p.cache(), 0700);
                                                   makeAnotherUsersFolder(p.root.filePath("others"));
                                                   QFile::link(p.root.filePath("others"), p.cache() + '/' + identifier);
                                                 },
                                                 [](const Places &) { return QString(); }},
                                         Planted{"ACacheLinkToAFolderOfTheUsersOwn",
                                                 [](const Places &p) {
                                                   p.squat();
                                                   makeFolder(p.cache(), 0700);
                                                   makeFolder(p.own(), 0700);
                                                   QFile::link(p.own(), p.cache() + '/' + identifier);
                                                 },
                                                 [](const Places &p) -> QString { return p.fallback(); }}),
                         [](const auto &info) { return std::string(info.param.name); });

// A lock file is never opened through a link planted at its name, nor is
// one created where the link points.
TEST(FileLockAtALink, IsRefused) {
  QTemporaryDir root;
  const QString target = root.filePath("target.lock"), planted = root.filePath("copy.lock");
  ASSERT_TRUE(QFile::link(target, planted));
  EXPECT_THROW(FileLock{planted}, FileError);
  EXPECT_FALSE(QFile::exists(target));
}

struct stat statOf(const QString &path) {
  struct stat st {};
  ::lstat(QFile::encodeName(path).constData(), &st);
  return st;
}

bool holdsTheFileAtItsPath(const FileLock &lock, const QString &path) {
  struct stat held {};
  const struct stat named = statOf(path);
  return ::fstat(lock.descriptor(), &held) == 0 && named.st_ino != 0 && held.st_ino == named.st_ino &&
         held.st_dev == named.st_dev;
}

// A lock file removed (or replaced) between opening and locking it: the
// taker holds the file now at the path, so a later taker finds it held.
TEST(FileLock, ATakerHoldsTheFileAtThePath) {
  QTemporaryDir root;
  const QString path = root.filePath("instance.lock");
  for (const bool replaced : {false, true}) {
    FileLock first(path);
    ASSERT_EQ(::unlink(QFile::encodeName(path).constData()), 0);
    if (replaced)
      QFile(path).open(QIODevice::WriteOnly);
    ASSERT_TRUE(first.tryLock(FileLock::Mode::exclusive));
    EXPECT_TRUE(holdsTheFileAtItsPath(first, path)) << "replaced " << replaced;
    EXPECT_NE(statOf(path).st_mode & S_ISVTX, 0u) << "a sticky file: cleaners pass over it";
    FileLock second(path);
    EXPECT_FALSE(second.tryLock(FileLock::Mode::shared));
    EXPECT_TRUE(second.isBusy());
  }
}

// "Busy" is another holder; a lock that cannot be had at all is something
// else, and a wait for it ends at once.
TEST(FileLock, TellsAnotherHolderFromAFailure) {
  QTemporaryDir root;
  const QString path = root.filePath("session.lock");
  FileLock holder(path);
  ASSERT_TRUE(holder.tryLock(FileLock::Mode::exclusive));
  FileLock busy(path);
  EXPECT_FALSE(busy.lock(FileLock::Mode::exclusive, 100));
  EXPECT_TRUE(busy.isBusy());

  // A descriptor flock refuses (one opened only as a path), as a file system
  // without locks refuses every one.
  FileLock broken(root.filePath("other.lock"));
  const int pathOnly = ::open(QFile::encodeName(root.filePath("other.lock")).constData(), O_PATH | O_CLOEXEC);
  ASSERT_GE(pathOnly, 0);
  ASSERT_EQ(::dup2(pathOnly, broken.descriptor()), broken.descriptor());
  ::close(pathOnly);
  EXPECT_FALSE(broken.lock(FileLock::Mode::exclusive, 60000));
  EXPECT_FALSE(broken.isBusy());
  EXPECT_EQ(broken.error(), EBADF);
  holder.unlock();
  EXPECT_TRUE(busy.tryLock(FileLock::Mode::exclusive));
  EXPECT_EQ(busy.error(), 0);
}

// A lock file goes only while nobody holds it, and only when its owner says
// it may; whoever opened it before sees it gone once it locks.
TEST(FileLock, IsRemovedOnlyWhileFree) {
  QTemporaryDir root;
  const QString path = root.filePath("copy-1.lock");
  const auto removable = [](int) { return true; };
  FileLock held(path);
  ASSERT_TRUE(held.tryLock(FileLock::Mode::shared));
  EXPECT_FALSE(FileLock::removeIfFree(path, removable));
  EXPECT_TRUE(QFile::exists(path));
  held.unlock();
  EXPECT_FALSE(FileLock::removeIfFree(path, [](int) { return false; }));
  EXPECT_TRUE(QFile::exists(path));
  EXPECT_TRUE(FileLock::removeIfFree(path, removable));
  EXPECT_FALSE(QFile::exists(path));
  ASSERT_TRUE(held.tryLock(FileLock::Mode::shared));
  EXPECT_TRUE(holdsTheFileAtItsPath(held, path));
  EXPECT_FALSE(FileLock::removeIfFree(root.filePath("none.lock"), removable));
}

} // namespace
