#include "platform/desktop/DesktopIntegration.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace crel;
using crel::test::contents;
using crel::test::writeFile;

namespace {

// A home with its own data and config folders, one system data folder with a
// viewer for PNG and JPEG (and a stale cache line), and a copy of the app
// that declares PNG, JPEG and TIFF. No other application takes TIFF.
struct Desktop {
  Desktop() {
    const QString apps = root.path() + "/system/applications";
    writeFile(apps + "/viewer.desktop", "[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer %f\n");
    writeFile(apps + "/other.desktop", "[Desktop Entry]\nType=Application\nName=Other\nExec=other %f\n");
    writeFile(apps + "/mimeinfo.cache", "[MIME Cache]\nimage/jpeg=viewer.desktop;\n"
                                        "image/png=removed.desktop;viewer.desktop;other.desktop;\n");
    writeFile(root.path() + "/Crel.app/Resources/crel.desktop",
              "[Desktop Entry]\nType=Application\nName=Crel\nExec=crel %F\nIcon=crel\n"
              "MimeType=image/png;image/jpeg;image/tiff;\n");
  }
  DesktopIntegration integration() const {
    const QString r = root.path();
    return DesktopIntegration({r + "/data",
                               "org.example.crel",
                               "Crel",
                               r + "/Crel.app",
                               {r + "/config", {r + "/etc"}, r + "/data", {r + "/system"}, {"openbox"}}});
  }
  QString userList() const { return root.path() + "/config/mimeapps.list"; }
  QTemporaryDir root;
};

} // namespace

// How the user's list is kept: a plain file, or shapes an edit must not
// break or pass through.
enum class Shape {
  plain,
  private0600, // the user's own mode stays
  linked,      // a link into a dotfiles folder, through a second link: the final file is edited
  hardLinked,  // a second name: left alone
  readOnly,    // left alone
  notOurs,     // another user's file (needs root to make): left alone
  fifo,        // neither read nor replaced, and the launch does not wait for a writer
};

// Installing the entry would make it the first application for each of its
// types; the default the desktop had is written down first, where no list
// names one, so the entry only joins "Open With".
TEST(MimeDefaults, TheFirstInstallKeepsTheDesktopsDefaults) {
  const char *const untouched = "[Default Applications]\nimage/tiff=other.desktop;\n";
  const struct {
    const char *name;
    const char *userListBefore; // null: none
    const char *systemList;     // null: none
    const char *userListAfter;  // null: none
    Shape shape = Shape::plain;
  } cases[]{
      {"no defaults list", nullptr, nullptr,
       "[Default Applications]\nimage/png=viewer.desktop;\nimage/jpeg=viewer.desktop;\n"},
      // The user chose Crel for PNG: that stays, the rest of the file too.
      {"a list naming Crel",
       "[Added Associations]\nimage/gif=other.desktop;\n\n[Default Applications]\n"
       "image/png=org.example.crel.desktop;\n\n[Removed Associations]\ntext/plain=x.desktop;\n",
       nullptr,
       "[Added Associations]\nimage/gif=other.desktop;\n\n[Default Applications]\nimage/png=org.example.crel.desktop;\n"
       "image/jpeg=viewer.desktop;\n\n[Removed Associations]\ntext/plain=x.desktop;\n"},
      {"the system's list names one", nullptr, "[Default Applications]\nimage/png=other.desktop;\n",
       "[Default Applications]\nimage/jpeg=viewer.desktop;\n"},
      // An application the user added for a type comes before the caches.
      {"an added association", "[Added Associations]\nimage/png=other.desktop;\n", nullptr,
       "[Added Associations]\nimage/png=other.desktop;\n\n[Default Applications]\nimage/png=other.desktop;\n"
       "image/jpeg=viewer.desktop;\n"},
      {"every type named already",
       "[Default Applications]\nimage/png=viewer.desktop\nimage/jpeg=other.desktop;\nimage/tiff=other.desktop;\n",
       nullptr,
       "[Default Applications]\nimage/png=viewer.desktop\nimage/jpeg=other.desktop;\nimage/tiff=other.desktop;\n"},
      // A default that is no longer installed decides nothing: the viewer goes
      // first in that line, never into a second one, which xdg-mime and gio
      // would read differently.
      {"a stale default", "[Default Applications]\nimage/png=gone.desktop;\n", nullptr,
       "[Default Applications]\nimage/png=viewer.desktop;gone.desktop;\nimage/jpeg=viewer.desktop;\n"},
      {"a stale default in the system's list", nullptr, "[Default Applications]\nimage/png=gone.desktop;\n",
       "[Default Applications]\nimage/png=viewer.desktop;\nimage/jpeg=viewer.desktop;\n"},
      // gio takes the installed one, xdg-mime only the first: it goes first.
      {"a stale default before an installed one", "[Default Applications]\nimage/png=gone.desktop;other.desktop;\n",
       nullptr, "[Default Applications]\nimage/png=other.desktop;gone.desktop;\nimage/jpeg=viewer.desktop;\n"},
      {"an empty default", "[Default Applications]\nimage/png=\n", nullptr,
       "[Default Applications]\nimage/png=viewer.desktop;\nimage/jpeg=viewer.desktop;\n"},
      {"CRLF line ends", "[Default Applications]\r\nimage/tiff=other.desktop;\r\n\r\n[Removed Associations]\r\n",
       nullptr,
       "[Default Applications]\r\nimage/tiff=other.desktop;\r\nimage/png=viewer.desktop;\r\n"
       "image/jpeg=viewer.desktop;\r\n\r\n[Removed Associations]\r\n"},
      {"a 0600 list", untouched, nullptr,
       "[Default Applications]\nimage/tiff=other.desktop;\nimage/png=viewer.desktop;\nimage/jpeg=viewer.desktop;\n",
       Shape::private0600},
      {"a linked list", untouched, nullptr,
       "[Default Applications]\nimage/tiff=other.desktop;\nimage/png=viewer.desktop;\nimage/jpeg=viewer.desktop;\n",
       Shape::linked},
      {"a hard-linked list", untouched, nullptr, untouched, Shape::hardLinked},
      {"a read-only list", untouched, nullptr, untouched, Shape::readOnly},
      {"another user's list", untouched, nullptr, untouched, Shape::notOurs},
      {"a FIFO", nullptr, nullptr, nullptr, Shape::fifo},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    if (c.shape == Shape::notOurs && ::geteuid() != 0)
      continue; // only root can give a file away
    Desktop desktop;
    const QString list = desktop.userList();
    // Where the text lives: the list itself, or the final target of its links.
    QString stored = list;
    if (c.shape == Shape::linked) {
      stored = desktop.root.path() + "/dotfiles/store/mimeapps.list";
      QDir().mkpath(desktop.root.path() + "/config");
      QDir().mkpath(desktop.root.path() + "/dotfiles/store");
      ASSERT_TRUE(QFile::link("store/mimeapps.list", desktop.root.path() + "/dotfiles/mimeapps.list"));
      ASSERT_TRUE(QFile::link(desktop.root.path() + "/dotfiles/mimeapps.list", list));
    }
    if (c.userListBefore)
      writeFile(stored, c.userListBefore);
    const QByteArray bytes = QFile::encodeName(stored);
    const char *native = bytes.constData();
    mode_t mode = 0644;
    switch (c.shape) {
    case Shape::private0600: mode = 0600; break;
    case Shape::linked: mode = 0640; break;
    case Shape::readOnly: mode = 0444; break;
    case Shape::hardLinked: ASSERT_EQ(::link(native, QByteArray(bytes + ".bak").constData()), 0); break;
    case Shape::notOurs: ASSERT_EQ(::chown(native, 65534, 65534), 0); break;
    case Shape::fifo:
      QDir().mkpath(desktop.root.path() + "/config");
      ASSERT_EQ(::mkfifo(native, 0644), 0);
      break;
    case Shape::plain: break;
    }
    if (c.userListBefore) {
      ASSERT_EQ(::chmod(native, mode), 0);
    }
    if (c.systemList)
      writeFile(desktop.root.path() + "/etc/mimeapps.list", c.systemList);
    const DesktopIntegration integration = desktop.integration();
    ASSERT_TRUE(integration.install(true));
    EXPECT_TRUE(QFileInfo(integration.entryPath()).isFile());
    struct stat st {};
    ASSERT_EQ(::lstat(native, &st) == 0, c.userListAfter || c.shape == Shape::fifo);
    if (c.shape == Shape::fifo) {
      EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
    if (c.userListAfter) {
      EXPECT_EQ(contents(stored).toStdString(), c.userListAfter);
      EXPECT_TRUE(S_ISREG(st.st_mode));
      if (c.userListBefore) {
        EXPECT_EQ(st.st_mode & 07777, mode);
      }
      EXPECT_EQ(st.st_nlink, c.shape == Shape::hardLinked ? 2u : 1u);
    }
    if (c.shape == Shape::linked) {
      EXPECT_TRUE(QFileInfo(list).isSymLink());
      EXPECT_TRUE(QFileInfo(desktop.root.path() + "/dotfiles/mimeapps.list").isSymLink());
      EXPECT_EQ(QDir(desktop.root.path() + "/dotfiles/store").entryList(QDir::Files | QDir::Hidden),
                QStringList{"mimeapps.list"});
    }
    // A later launch leaves the defaults alone, whatever happened to them since.
    QFile::remove(list);
    integration.install(false);
    EXPECT_FALSE(QFileInfo::exists(list));
  }
}
