#include "support/LaunchProcess.h"

#include "app/LaunchAtLogin.h"
#include "platform/desktop/AutostartLoginItem.h"
#include "platform/desktop/DesktopEntry.h"
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
  AutostartLoginItem item() const {
    return AutostartLoginItem({home.path() + "/config", {home.path() + "/system"}, "org.example.crel", "Crel", bundle});
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

TEST(AutostartEntry, ExecQuotingRoundTripsAwkwardPathsAndPassesTheValidator) {
  const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
  ASSERT_FALSE(validator.isEmpty()) << "desktop-file-validate missing: run scripts/install-deps";
  for (const QString &name : {QString("Crel.app"), QString("My Apps/Crel \"2\" $HOME `x`.app"),
                              QString("back\\slash\\\\n 100% 'single' #;&|<>*?().app"), QString("Übersicht ✓.app")}) {
    Installation installation(name);
    AutostartLoginItem item = installation.item();
    item.registerItem();
    EXPECT_EQ(launchedCommand(item.entryPath()),
              QStringList({installation.bundle + "/bin/crel", "--launched-at-login"}))
        << qPrintable(name);
    EXPECT_EQ(item.status(), LoginItemStatus::enabled) << qPrintable(name);

    QProcess validate;
    validate.start(validator, {item.entryPath()});
    ASSERT_TRUE(validate.waitForFinished(30000));
    EXPECT_EQ(validate.exitCode(), 0) << qPrintable(name);
    EXPECT_EQ(validate.readAll() + validate.readAllStandardError(), "") << qPrintable(name);
  }
}

TEST(AutostartEntry, APathAnEntryCannotHoldIsRefusedAndNothingIsWritten) {
  for (const QString &name : {QString("Crel\n.app"), QString("Crel\t.app"), QString("Crel\x1b.app")}) {
    Installation installation(name);
    AutostartLoginItem item = installation.item();
    try {
      item.registerItem();
      ADD_FAILURE() << "registered " << qPrintable(name);
    } catch (const FileError &error) {
      EXPECT_EQ(error.message(), "The app's location contains characters that autostart entries cannot hold.");
    }
    EXPECT_FALSE(QFile::exists(item.entryPath()));
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
                QStringList({renamed + "/bin/crel", AutostartLoginItem::loginArgument}));
    }
  }
}
