#include "platform/files/FileError.h"
#include "platform/files/FileLock.h"
#include "platform/files/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace crel;

namespace {

constexpr const char *identifier = "org.example.runtime";

struct Places {
  QTemporaryDir root;
  QString runtime() const { return root.filePath("run"); }
  QString temporary() const { return root.filePath("tmp"); }
  QString cache() const { return root.filePath("cache"); }
  QString shared() const { return temporary() + QString("/%1-%2").arg(identifier).arg(::geteuid()); }
  QString fallback() const { return cache() + QString("/%1/runtime").arg(identifier); }
  QString elsewhere() const { return root.filePath("elsewhere"); }
};

struct Planted {
  const char *name;
  bool withRuntime; // $XDG_RUNTIME_DIR is set (and private)
  std::function<void(const Places &)> plant;
  std::function<QString(const Places &)> expected;
};

void PrintTo(const Planted &c, std::ostream *os) { *os << c.name; }

void makeFolder(const QString &path, mode_t mode) {
  ASSERT_TRUE(QDir().mkpath(path));
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

class RuntimeFolderPlaces : public testing::TestWithParam<Planted> {};

// Another local user can make the shared name first, open to everyone or as
// a link: the folder used is then the user's own fixed fallback, the same at
// every launch, and nothing is created through the link.
TEST_P(RuntimeFolderPlaces, AreTheUsersOwn) {
  const Planted &c = GetParam();
  Places places;
  makeFolder(places.temporary(), 01777);
  makeFolder(places.elsewhere(), 0700);
  if (c.withRuntime)
    makeFolder(places.runtime(), 0700);
  c.plant(places);
  const auto find = [&] {
    return RuntimeFolder::path(identifier, c.withRuntime ? places.runtime() : QString(), places.temporary(),
                               places.cache());
  };
  const QString folder = find();
  EXPECT_EQ(folder, c.expected(places));
  EXPECT_TRUE(RuntimeFolder::isPrivate(folder));
  EXPECT_EQ(find(), folder);
  EXPECT_TRUE(QDir(places.elsewhere()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RuntimeFolderPlaces,
    testing::Values(Planted{"RuntimeFolder", true, [](const Places &) {},
                            [](const Places &p) -> QString { return p.runtime() + "/" + identifier; }},
                    Planted{"RuntimeNameIsALink", true,
                            [](const Places &p) { QFile::link(p.elsewhere(), p.runtime() + "/" + identifier); },
                            [](const Places &p) -> QString { return p.shared(); }},
                    Planted{"NothingThere", false, [](const Places &) {},
                            [](const Places &p) -> QString { return p.shared(); }},
                    Planted{"OpenToOthers", false, [](const Places &p) { makeFolder(p.shared(), 0777); },
                            [](const Places &p) -> QString { return p.fallback(); }},
                    Planted{"ALink", false, [](const Places &p) { QFile::link(p.elsewhere(), p.shared()); },
                            [](const Places &p) -> QString { return p.fallback(); }},
                    Planted{"AFile", false, [](const Places &p) { QFile(p.shared()).open(QIODevice::WriteOnly); },
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
  EXPECT_FALSE(FileLock::isHeld(planted));
}

} // namespace
