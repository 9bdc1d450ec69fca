#include "update/framework/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace crel::update;

namespace {

mode_t permissions(const QString &path) {
  struct stat st {};
  ::stat(QFile::encodeName(path).constData(), &st);
  return st.st_mode & 07777;
}

// Holds the process umask for one test.
class Umask {
public:
  explicit Umask(mode_t mask) : previous_(::umask(mask)) {}
  ~Umask() { ::umask(previous_); }

private:
  mode_t previous_;
};

TEST(PrivateFile, IsOwnerOnlyWhateverTheUmaskOrWhatWasThere) {
  const Umask umask(022);
  QTemporaryDir dir;
  const QString fresh = dir.filePath("cache/co.quorvex.crel/Updates/101/job.json");
  PrivateFile::write(fresh, "{}");
  EXPECT_EQ(permissions(fresh), mode_t(0600));
  EXPECT_EQ(permissions(dir.filePath("cache/co.quorvex.crel/Updates/101")), mode_t(0700));
  EXPECT_EQ(permissions(dir.filePath("cache")), mode_t(0755)); // parents are ordinary folders

  ASSERT_TRUE(QDir(dir.path()).mkdir("shared"));
  QFile::setPermissions(dir.filePath("shared"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                    QFile::ExeOther);
  const QString replaced = dir.filePath("shared/UpdateSession.json");
  QFile old(replaced);
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("old");
  old.close();
  ASSERT_EQ(permissions(replaced), mode_t(0644));
  PrivateFile::write(replaced, "new");
  EXPECT_EQ(permissions(replaced), mode_t(0600));
  EXPECT_EQ(permissions(dir.filePath("shared")), mode_t(0755));
  QFile result(replaced);
  ASSERT_TRUE(result.open(QIODevice::ReadOnly));
  EXPECT_EQ(result.readAll(), "new");
  EXPECT_EQ(QDir(dir.filePath("shared")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"UpdateSession.json"});
}

} // namespace
