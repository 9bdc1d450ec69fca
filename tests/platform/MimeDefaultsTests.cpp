#include "platform/desktop/DesktopIntegration.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

// Installing the entry would make it the first application for each of its
// types; the default the desktop had is written down first, where no list
// names one, so the entry only joins "Open With".
TEST(MimeDefaults, TheFirstInstallKeepsTheDesktopsDefaults) {
  const struct {
    const char *name;
    const char *userListBefore; // null: none
    const char *systemList;     // null: none
    const char *userListAfter;  // null: none
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
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Desktop desktop;
    if (c.userListBefore)
      writeFile(desktop.userList(), c.userListBefore);
    if (c.systemList)
      writeFile(desktop.root.path() + "/etc/mimeapps.list", c.systemList);
    const DesktopIntegration integration = desktop.integration();
    ASSERT_TRUE(integration.install(true));
    EXPECT_TRUE(QFileInfo(integration.entryPath()).isFile());
    EXPECT_EQ(QString::fromUtf8(contents(desktop.userList())), c.userListAfter);
    // A later launch leaves the defaults alone, whatever happened to them since.
    QFile::remove(desktop.userList());
    integration.install(false);
    EXPECT_FALSE(QFileInfo::exists(desktop.userList()));
  }
}
