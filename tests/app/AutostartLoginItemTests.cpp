#include "support/LaunchProcess.h"

#include "app/LaunchAtLogin.h"
#include "platform/desktop/AutostartLoginItem.h"
#include "platform/desktop/DesktopEntry.h"
#include "platform/desktop/DesktopIntegration.h"
#include "platform/files/FileError.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace crel;
using crel::test::contents;
using crel::test::writeFile;

namespace {

constexpr QFile::Permissions executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// A bundle with an executable in a temporary home, and the login item for it.
struct Installation {
  explicit Installation(const QString &bundleName = "Crel.app") {
    bundle = home.path() + "/Applications/" + bundleName;
    writeFile(bundle + "/bin/crel", "#!/bin/sh\n");
    QFile::setPermissions(bundle + "/bin/crel", executable);
  }
  AutostartLoginItem item(const QString &dataFolder = "data") const {
    return AutostartLoginItem({home.path() + "/config",
                               {home.path() + "/system"},
                               "org.example.crel",
                               "Crel",
                               bundle,
                               home.filePath(dataFolder)});
  }
  QString systemEntry() const { return home.path() + "/system/autostart/org.example.crel.desktop"; }
  QTemporaryDir home;
  QString bundle;
};

struct StatusCase {
  const char *name;
  // What the user entry holds after registering: appended keys, or a whole
  // replacement when it starts with '!'; null: no user entry.
  const char *userEntry;
  const char *systemEntry; // null: none
  bool programRunnable;
  LoginItemStatus expected;
};

void PrintTo(const StatusCase &c, std::ostream *os) { *os << c.name; }

class AutostartStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(AutostartStatus, FollowsTheEntriesOnDisk) {
  const StatusCase &c = GetParam();
  Installation installation;
  AutostartLoginItem item = installation.item();
  if (c.systemEntry)
    writeFile(installation.systemEntry(), c.systemEntry);
  if (c.userEntry) {
    item.registerItem();
    const QByteArray user = c.userEntry;
    writeFile(item.entryPath(), user.startsWith('!') ? user.mid(1) : contents(item.entryPath()) + user);
  }
  if (!c.programRunnable)
    QFile::setPermissions(installation.bundle + "/bin/crel", QFile::ReadOwner | QFile::WriteOwner);
  EXPECT_EQ(item.status(), c.expected);
}

const char *const systemOn = "[Desktop Entry]\nType=Application\nName=Crel\nExec=/opt/Crel.app/bin/crel\n";
const char *const systemOff = "[Desktop Entry]\nType=Application\nName=Crel\nExec=crel\nHidden=true\n";

const StatusCase statusCases[] = {
    {"NoEntryIsNotRegistered", nullptr, nullptr, true, LoginItemStatus::notRegistered},
    {"SystemEntryAloneIsEnabled", nullptr, systemOn, true, LoginItemStatus::enabled},
    {"HiddenSystemEntryIsNotRegistered", nullptr, systemOff, true, LoginItemStatus::notRegistered},
    {"OurEntryIsEnabled", "", nullptr, true, LoginItemStatus::enabled},
    {"HiddenByTheDesktopNeedsApproval", "Hidden=true\n", nullptr, true, LoginItemStatus::requiresApproval},
    {"SwitchedOffInGnomeNeedsApproval",
     "!"
     "[Desktop Entry]\nType=Application\nName=Crel\nExec=/bin/true\n"
     "X-GNOME-Autostart-enabled=false\n",
     nullptr, true, LoginItemStatus::requiresApproval},
    {"OurMaskIsNotRegistered", "Hidden=true\nX-Crel-Disabled=true\n", systemOn, true, LoginItemStatus::notRegistered},
    {"UserEntryWinsOverTheSystemOne", "Hidden=true\n", systemOn, true, LoginItemStatus::requiresApproval},
    {"ProgramNotExecutableIsNotFound", "", nullptr, false, LoginItemStatus::notFound},
    {"ProgramMovedAwayIsNotFound",
     "!"
     "[Desktop Entry]\nType=Application\nExec=\"/nowhere/bin/crel\" -x\n",
     nullptr, true, LoginItemStatus::notFound},
    {"UnreadableEntryIsNotFound",
     "!"
     "Exec=/bin/true\n",
     nullptr, true, LoginItemStatus::notFound},
    {"BrokenQuotingIsNotFound",
     "!"
     "[Desktop Entry]\nExec=\"/bin/true\n",
     nullptr, true, LoginItemStatus::notFound},
    {"NoExecIsNotFound",
     "!"
     "[Desktop Entry]\nType=Application\n",
     nullptr, true, LoginItemStatus::notFound},
};

INSTANTIATE_TEST_SUITE_P(Entries, AutostartStatus, ::testing::ValuesIn(statusCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The entry is read at every launch: a FIFO in its place must not hold it up.
TEST(AutostartEntry, AFifoInTheEntrysPlaceIsNotWaitedFor) {
  Installation installation;
  AutostartLoginItem item = installation.item();
  ASSERT_TRUE(QDir().mkpath(QFileInfo(item.entryPath()).absolutePath()));
  ASSERT_EQ(::mkfifo(QFile::encodeName(item.entryPath()).constData(), 0644), 0);
  EXPECT_EQ(item.status(), LoginItemStatus::notFound);
}

TEST(AutostartEntry, RegisteringAndRemovingMasksASystemEntryItCannotDelete) {
  Installation installation;
  AutostartLoginItem item = installation.item();
  item.registerItem();
  item.unregisterItem();
  EXPECT_FALSE(QFile::exists(item.entryPath()));
  item.unregisterItem(); // nothing left to remove is not an error
  EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);

  writeFile(installation.systemEntry(), systemOn);
  ASSERT_EQ(item.status(), LoginItemStatus::enabled);
  item.unregisterItem();
  EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
  EXPECT_TRUE(QFile::exists(installation.systemEntry()));
  item.registerItem();
  EXPECT_EQ(item.status(), LoginItemStatus::enabled);
}

// What a desktop runs from the entry: the string escapes undone, then the
// Exec quoting.
std::optional<QStringList> launchedCommand(const QString &entryPath) {
  const std::optional<DesktopEntry> entry = DesktopEntry::read(entryPath);
  if (!entry || !entry->value("Exec"))
    return std::nullopt;
  return DesktopEntry::splitExec(*entry->value("Exec"));
}

// Both entries that start this copy, the autostart entry and the desktop
// entry. Exec names a plain path, since launchers differ on anything else
// (xdg-open outside a known desktop runs the first word of Exec as it is,
// quotes included; GLib refuses "%%"): the program itself, or else a link to
// it that goes with the autostart entry. An entry of an earlier version
// that quoted the program is not taken for on.
TEST(AutostartEntry, ExecQuotingRoundTripsAwkwardPathsAndPassesTheValidator) {
  const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
  ASSERT_FALSE(validator.isEmpty()) << "desktop-file-validate missing: run scripts/install-deps";
  const struct {
    QString name;
    bool linked;
  } cases[]{{"Crel.app", false},
            {"Crel Copy.app", true},
            {"100%Crel+ü=1.app", true},
            {"My Apps/Crel \"2\" $HOME `x`.app", true},
            {"back\\slash\\\\n 100% 'single' #;&|<>*?().app", true},
            {"Übersicht ✓.app", true},
            {"tilde~.app", true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(qPrintable(c.name));
    Installation installation(c.name);
    if (c.linked) {
      writeFile(installation.item().entryPath(),
                "[Desktop Entry]\nExec=" + DesktopEntry::execArgument(installation.bundle + "/bin/crel")->toUtf8());
      EXPECT_EQ(installation.item().status(), LoginItemStatus::notFound);
    }
    writeFile(installation.bundle + "/Resources/crel.desktop",
              "[Desktop Entry]\nType=Application\nName=Crel\nExec=crel %F\nIcon=crel\nMimeType=image/png;\n");
    AutostartLoginItem item = installation.item();
    item.registerItem();
    const QString home = installation.home.path();
    const DesktopIntegration desktop({home + "/data",
                                      "org.example.crel",
                                      "Crel",
                                      installation.bundle,
                                      {home + "/config", {}, home + "/data", {}, {}}});
    writeFile(home + "/desktop.desktop", desktop.entryText());
    const QString program = installation.bundle + "/bin/crel";
    const QString started = launchedCommand(item.entryPath()).value_or(QStringList{""}).first();
    EXPECT_EQ(started == program, !c.linked);
    EXPECT_EQ(QFileInfo(started).canonicalFilePath(), QFileInfo(program).canonicalFilePath());
    EXPECT_EQ(launchedCommand(item.entryPath()), QStringList({started, "--launched-at-login"}));
    EXPECT_EQ(launchedCommand(home + "/desktop.desktop"), QStringList({started}));
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    EXPECT_EQ(DesktopEntry::execArgument(started), started) << "a plain path";
    for (const QString &entry : QStringList{item.entryPath(), home + "/desktop.desktop"}) {
      const QByteArray text = contents(entry);
      EXPECT_TRUE(text.contains(QByteArray("\nExec=" + started.toUtf8() + ' ')));
      QProcess validate;
      validate.start(validator, {entry});
      ASSERT_TRUE(validate.waitForFinished(30000));
      EXPECT_EQ(validate.exitCode(), 0);
      EXPECT_EQ(validate.readAll() + validate.readAllStandardError(), "");
    }
    item.unregisterItem();
    EXPECT_FALSE(QFileInfo(started).isSymLink()) << "the link goes with the entry";
  }
}

// Said under the toggle, which stays off.
TEST(AutostartEntry, APathAnEntryCannotHoldIsRefusedAndNothingIsWritten) {
  const QString app = "The app's location contains characters that autostart entries cannot hold.";
  const QString data = "The data folder's location contains characters that desktop entries cannot hold.";
  const struct {
    QString name, dataFolder, message;
  } cases[]{{"Crel\n.app", "data", app},
            {"Crel\t.app", "data", app},
            {"Crel\x1b.app", "data", app},
            {"Crel Copy.app", "my data", data},
            {"Crel.app", "my data", {}}};
  for (const auto &c : cases) {
    SCOPED_TRACE(qPrintable(c.name + " in " + c.dataFolder));
    Installation installation(c.name);
    AutostartLoginItem item = installation.item(c.dataFolder);
    test::TemporarySettings settings;
    LaunchAtLogin login(item, settings.store(), true);
    login.start();
    EXPECT_EQ(login.status(), c.message.isEmpty() ? LoginItemStatus::enabled : LoginItemStatus::notRegistered);
    if (!c.message.isEmpty()) {
      EXPECT_EQ(login.detail(false), "Could not change automatic startup: " + c.message);
    }
    EXPECT_EQ(QFile::exists(item.entryPath()), c.message.isEmpty());
  }
}

} // namespace

// Launch at login follows a copy the user renamed, as the desktop entry does;
// switched off, it stays off.
TEST(AutostartEntry, ALaunchOfARenamedCopyPointsTheEntryAtItself) {
  for (const bool on : {true, false}) {
    SCOPED_TRACE(on ? "on" : "off");
    Installation installation;
    test::TemporarySettings settings;
    AutostartLoginItem before = installation.item();
    {
      LaunchAtLogin first(before, settings.store(), true);
      first.start();
      if (!on)
        first.setEnabled(false);
    }
    const QString renamed = QFileInfo(installation.bundle).absolutePath() + "/Renamed Copy.app";
    ASSERT_TRUE(QDir().rename(installation.bundle, renamed));
    installation.bundle = renamed;
    AutostartLoginItem after = installation.item();
    LaunchAtLogin relaunched(after, settings.store(), true);
    relaunched.start();
    EXPECT_EQ(relaunched.status(), on ? LoginItemStatus::enabled : LoginItemStatus::notRegistered);
    EXPECT_EQ(relaunched.errorMessage(), std::nullopt);
    if (on) {
      const std::optional<DesktopEntry> entry = DesktopEntry::read(after.entryPath());
      ASSERT_TRUE(entry);
      EXPECT_EQ(DesktopEntry::splitExec(entry->value("Exec").value_or("")),
                QStringList({after.launcherLink().path(), AutostartLoginItem::loginArgument}));
      EXPECT_EQ(QFileInfo(after.launcherLink().path()).symLinkTarget(), renamed + "/bin/crel");
    }
  }
}
