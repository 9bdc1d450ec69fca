#include "document/CrelStorage.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/FileError.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace crel;

namespace {

void touch(const QString &path) { test::writeFile(path, "x"); }

QString failure(const std::function<void()> &action) {
  try {
    action();
  } catch (const FileError &e) {
    return e.message();
  }
  return {};
}

// Sets an environment variable until the end of the scope.
struct ScopedEnvironment {
  ScopedEnvironment(const char *name, const QByteArray &value)
      : name(name), had(qEnvironmentVariableIsSet(name)), old(qgetenv(name)) {
    qputenv(name, value);
  }
  ~ScopedEnvironment() { had ? qputenv(name, old) : qunsetenv(name); }
  const char *name;
  bool had;
  QByteArray old;
};

TEST(CrelStorage, PrepareDirectoryCreatesParentsAndAcceptsAnExistingFolder) {
  QTemporaryDir root;
  const QString nested = root.filePath("a/b/c");
  EXPECT_EQ(CrelStorage::prepareDirectory(nested), nested);
  EXPECT_TRUE(QFileInfo(nested).isDir());
  EXPECT_EQ(CrelStorage::prepareDirectory(nested), nested);
  EXPECT_EQ(CrelStorage::prepareDirectory(nested + "/"), nested + "/");
}

TEST(CrelStorage, AFileWhereTheFolderShouldBeIsAClearError) {
  // Tests run as root, so a file in the way stands in for every refusal.
  QTemporaryDir root;
  touch(root.filePath("Crel"));
  const QString expected = "The folder “Crel” couldn’t be created because a file with that name is in the way.";
  EXPECT_EQ(failure([&] { CrelStorage::prepareDirectory(root.filePath("Crel")); }), expected);
  EXPECT_EQ(failure([&] { CrelStorage::prepareDirectory(root.filePath("Crel/inner")); }), expected);
  EXPECT_EQ(failure([&] { CrelStorage::availableURL(root.filePath("Crel"), "S"); }), expected);
  EXPECT_TRUE(QFileInfo(root.filePath("Crel")).isFile());
}

TEST(CrelStorage, AvailableURLNeverChoosesAnExistingName) {
  QTemporaryDir root;
  const QString folder = root.filePath("Pictures/Crel");
  EXPECT_EQ(CrelStorage::availableURL(folder, "S"), folder + "/S.png");
  EXPECT_TRUE(QFileInfo(folder).isDir());

  touch(folder + "/S.png");
  touch(folder + "/S (2).png");
  EXPECT_EQ(CrelStorage::availableURL(folder, "S"), folder + "/S (3).png");

  // Folders and dangling links are taken names too; other stems are unaffected.
  ASSERT_TRUE(QDir(folder).mkdir("S (3).png"));
  ASSERT_TRUE(QFile::link(folder + "/nowhere", folder + "/S (4).png"));
  EXPECT_EQ(CrelStorage::availableURL(folder, "S"), folder + "/S (5).png");
  EXPECT_EQ(CrelStorage::availableURL(folder, "S (2)"), folder + "/S (2) (2).png");
  EXPECT_EQ(CrelStorage::availableURL(folder, "T"), folder + "/T.png");
}

TEST(CrelStorage, AvailableURLStaysInTheFolder) {
  QTemporaryDir root;
  const QString folder = root.filePath("Crel");
  const QString chosen = CrelStorage::availableURL(folder, "../../etc/passwd");
  EXPECT_EQ(QFileInfo(chosen).absolutePath(), QFileInfo(folder).absoluteFilePath());
  EXPECT_EQ(QFileInfo(chosen).fileName(), ".. .. etc passwd.png");
}

TEST(CrelStorage, DefaultFolderIsTheXdgPicturesFolderPlusTheAppName) {
  QTemporaryDir home;
  ScopedEnvironment homeVariable("HOME", QFile::encodeName(home.path()));
  ScopedEnvironment config("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
  ASSERT_EQ(AppIdentity::name(), "Crel");

  EXPECT_EQ(CrelStorage::defaultDirectory(), home.path() + "/Pictures/Crel");
  EXPECT_EQ(CrelStorage::defaultDirectoryDisplayPath(), "~/Pictures/Crel");
  EXPECT_FALSE(QFileInfo::exists(CrelStorage::defaultDirectory()));

  // A localised Pictures folder from the XDG user directories. A value that
  // is not absolute (hand-edited, or cut by a newline) counts as none, and
  // nothing is made relative to the working directory.
  ASSERT_TRUE(QDir(home.path()).mkpath(".config"));
  QTemporaryDir work;
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(work.path()));
  const auto back = qScopeGuard([&] { QDir::setCurrent(previous); });
  const std::pair<QByteArray, QString> rows[]{{"\"$HOME/Bilder\"", "~/Bilder/Crel"},
                                              {"\"~/Bilder\"", "~/Pictures/Crel"},
                                              {"\"relpics\"", "~/Pictures/Crel"},
                                              {"\"$HOME\n/Bilder\"", "~/Pictures/Crel"}};
  for (const auto &[value, folder] : rows) {
    SCOPED_TRACE(value.toStdString());
    test::writeFile(home.filePath(".config/user-dirs.dirs"), "XDG_PICTURES_DIR=" + value + "\n");
    EXPECT_EQ(CrelStorage::defaultDirectory(), home.path() + folder.mid(1));
    EXPECT_EQ(CrelStorage::defaultDirectoryDisplayPath(), folder);
    CrelStorage::prepareDirectory(CrelStorage::defaultDirectory());
    EXPECT_EQ(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).join(", "), "");
  }
}

} // namespace
