#include "platform/display/PortalScreenshotFile.h"

#include "platform/files/OwnedDescriptor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace PortalScreenshotFile = crel::PortalScreenshotFile;
using crel::OwnedDescriptor;

namespace {

// Environment variables for the length of a test.
class Variable {
public:
  Variable(const char *name, const QString &value)
      : name_(name), old_(qgetenv(name)), was_(qEnvironmentVariableIsSet(name)) {
    qputenv(name, QFile::encodeName(value));
  }
  ~Variable() { was_ ? qputenv(name_, old_) : qunsetenv(name_); }

private:
  const char *name_;
  QByteArray old_;
  bool was_;
};

std::optional<timespec> shifted(timespec t, long ns) {
  t.tv_nsec += ns;
  for (; t.tv_nsec < 0; t.tv_nsec += 1'000'000'000L)
    --t.tv_sec;
  return t;
}

} // namespace

// Taken away is only the file the portal plainly made for this request: in
// the user's pictures as much as in temporary storage.
TEST(PortalScreenshotFile, OnlyTheFileMadeForTheRequestIsRemoved) {
  QTemporaryDir root;
  for (const char *folder : {"Pictures", "tmp", "runtime/doc/1a2b"})
    ASSERT_TRUE(QDir(root.path()).mkpath(folder));
  const Variable temporary("TMPDIR", root.filePath("tmp"));
  const Variable runtime("XDG_RUNTIME_DIR", root.filePath("runtime"));
  enum class Make { plain, secondLink, linkToIt, replacedAfterOpening };
  using Birth = PortalScreenshotFile::BirthTime;
  // Ending in 5 ns, the request's stamp and one a nanosecond before read as
  // nanosecond-fine: a stamp that happened to end in zeros would be taken
  // for a coarser file system's, which rounds that nanosecond away.
  timespec now = PortalScreenshotFile::requestTime();
  now.tv_nsec = now.tv_nsec / 10 * 10 + 5;
  const auto at = [](std::optional<timespec> t) { return Birth([t](auto) { return t; }); };
  const struct {
    const char *name;
    const char *folder;
    Make make;
    Birth birth;
    bool removed;
  } cases[] = {
      {"made after the request", "Pictures", Make::plain, {}, true},
      {"born as the request was sent", "Pictures", Make::plain, at(now), true},
      {"whole seconds, born in the request's second", "Pictures", Make::plain, at(timespec{now.tv_sec, 0}), true},
      {"older than the request", "Pictures", Make::plain, at(shifted(now, -1)), false},
      {"whole seconds, born the second before", "Pictures", Make::plain, at(timespec{now.tv_sec - 1, 0}), false},
      {"no birth time", "Pictures", Make::plain, at(std::nullopt), false},
      {"a second link", "Pictures", Make::secondLink, {}, false},
      {"a link to it", "Pictures", Make::linkToIt, {}, false},
      {"replaced after it was read", "Pictures", Make::replacedAfterOpening, {}, false},
      {"under the document portal's folder", "runtime/doc/1a2b", Make::plain, {}, false},
      {"temporary storage without birth time", "tmp", Make::plain, at(std::nullopt), true},
      {"a link in temporary storage", "tmp", Make::linkToIt, {}, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const QString folder = root.filePath(c.folder);
    const timespec requested = c.birth ? now : PortalScreenshotFile::requestTime();
    const QString made = folder + "/Screenshot_1.png";
    QFile file(made);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("png") == 3);
    file.close();
    QString uri = made;
    if (c.make == Make::secondLink) {
      ASSERT_EQ(::link(qPrintable(made), qPrintable(folder + "/other.png")), 0);
    }
    if (c.make == Make::linkToIt) {
      uri = folder + "/link.png";
      ASSERT_TRUE(QFile::link(made, uri));
    }
    const OwnedDescriptor opened(::open(QFile::encodeName(uri).constData(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(opened.isOpen());
    if (c.make == Make::replacedAfterOpening) {
      QFile other(folder + "/new.png");
      ASSERT_TRUE(other.open(QIODevice::WriteOnly));
      other.close();
      ASSERT_EQ(::rename(qPrintable(other.fileName()), qPrintable(made)), 0);
    }
    EXPECT_EQ(PortalScreenshotFile::removeIfMadeFor(uri, opened.get(), requested, c.birth), c.removed);
    EXPECT_EQ(!QFileInfo::exists(made), c.removed);
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::System))
      QFile::remove(folder + "/" + name);
  }
}
