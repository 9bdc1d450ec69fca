#include "platform/desktop/DesktopEntryIndex.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using crel::test::writeFile;

TEST(DesktopEntryIndex, NamesWindowsByClassFileOrProgramInTheLocale) {
  QTemporaryDir user, system;
  writeFile(system.filePath("org.gnome.Terminal.desktop"),
            "[Desktop Entry]\nName=Terminal\nName[de]=Terminal DE\n"
            "Exec=gnome-terminal --window\nStartupWMClass=Gnome-terminal\n"
            "[Desktop Action new]\nName=New Window\n");
  writeFile(system.filePath("sub/firefox-esr.desktop"), "[Desktop Entry]\nName=Firefox ESR\nExec=/usr/lib/firefox-esr/"
                                                        "firefox-esr %u\n");
  writeFile(system.filePath("gimp.desktop"),
            "[Desktop Entry]\nName=GIMP\nName[de_AT]=GIMP AT\nExec=\"gimp-2.10\" %U\n");
  writeFile(system.filePath("masked.desktop"), "[Desktop Entry]\nName=Masked\nStartupWMClass=Masked\n");
  writeFile(user.filePath("masked.desktop"), "[Desktop Entry]\nName=Masked\nHidden=true\n");
  writeFile(user.filePath("firefox-esr.desktop"), "[Desktop Entry]\nName=My Firefox\nExec=firefox-esr\n");

  const crel::DesktopEntryIndex index({user.path(), system.path()}, "de_AT");
  EXPECT_EQ(index.applicationName("Gnome-terminal", "gnome-terminal-server", ""), "Terminal DE");
  EXPECT_EQ(index.applicationName("Firefox-esr", "Navigator", ""), "My Firefox"); // the user's entry wins
  EXPECT_EQ(index.applicationName("", "", "/usr/bin/gimp-2.10"), "GIMP AT");
  EXPECT_EQ(index.applicationName("Unknown", "unknown", "/usr/bin/unknown"), "");
  EXPECT_EQ(index.applicationName("", "masked", ""), "");
}
