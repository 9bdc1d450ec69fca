#include "support/LaunchProcess.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/stat.h>

using namespace crel::test;

namespace {

const QString crelExecutable = QStringLiteral(CREL_EXECUTABLE);

QString builtBundle() { return QFileInfo(crelExecutable).absoluteDir().absoluteFilePath(".."); }

struct HeadlessCase {
  const char *name;
  QStringList arguments;
  const char *platform; // QT_QPA_PLATFORM, or null for unset
  bool wayland;         // in a Wayland session
  const char *out;      // {bundle} stands for the built bundle
  const char *err;
  int status;
};

void PrintTo(const HeadlessCase &c, std::ostream *os) { *os << c.name; }

class NoDisplay : public ::testing::TestWithParam<HeadlessCase> {};

// Without any X server: headless modes answer, the rest fail with one line
// instead of Qt's abort.
TEST_P(NoDisplay, ModesEndWithTheirContractedLines) {
  const HeadlessCase &c = GetParam();
  QTemporaryDir home;
  QProcessEnvironment environment = isolatedEnvironment(home.path());
  if (c.platform)
    environment.insert("QT_QPA_PLATFORM", c.platform);
  // No recognition data beside English: the languages line is fixed.
  environment.insert("TESSDATA_PREFIX", home.filePath("no-tessdata"));
  if (c.wayland) {
    environment.insert("WAYLAND_DISPLAY", "wayland-crel-test");
    environment.insert("XDG_SESSION_TYPE", "wayland");
  } else {
    environment.remove("XDG_SESSION_TYPE");
  }
  const ProcessResult run = runProgram(crelExecutable, c.arguments, environment, home.path());
  ASSERT_TRUE(run.finished);
  EXPECT_FALSE(run.crashed);
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.out.toStdString(),
            QString(c.out).replace("{bundle}", QDir(builtBundle()).canonicalPath()).toStdString());
  EXPECT_EQ(run.err.toStdString(), c.err);
}

const char *const firstRunDiagnostics = "screenCaptureAuthorized=false\naccessibilityAuthorized=false\n"
                                        "bundleIdentifier=co.quorvex.crel\nlaunchAtLoginStatus=0\n"
                                        "launchAtLoginInitialized=false\ntextRecognitionLanguages=eng\n";
const char *const refusedPermissions = "bundlePath={bundle}\ncoreGraphicsPreflight=false\n"
                                       "screenCaptureKitAuthorized=false\nerrorDomain=crel.capture; errorCode=1\n";
const char *const noDisplay = "FAIL: Cannot connect to an X11 display (DISPLAY is not set).\n";
const char *const noXWayland =
    "FAIL: This Wayland session has no XWayland (DISPLAY is not set), which Crel needs for "
    "its windows. Install XWayland (the xwayland package), turn it on in your compositor and "
    "start Crel again.\n";

const HeadlessCase headlessCases[] = {
    {"Diagnostics", {"--diagnostics"}, nullptr, false, firstRunDiagnostics, "", 0},
    {"DiagnosticsWithXcbAskedFor", {"--diagnostics"}, "xcb", false, firstRunDiagnostics, "", 0},
    {"PermissionDiagnostics", {"--permission-diagnostics"}, nullptr, false, refusedPermissions, "", 0},
    {"PermissionDiagnosticsWithXcbAskedFor", {"--permission-diagnostics"}, "xcb", false, refusedPermissions, "", 0},
    {"OrdinaryLaunch", {}, nullptr, false, "", noDisplay, 1},
    {"OrdinaryLaunchWithXcbAskedFor", {"--launched-at-login"}, "xcb", false, "", noDisplay, 1},
    {"WaylandLaunchWithWaylandAskedFor", {"--capture"}, "wayland", true, "", noXWayland, 1},
    {"LiveCaptureWithoutDisplay",
     {"--capture-editor-live", "out", "--fixture", "missing.png"},
     nullptr,
     false,
     "SKIPPED: This session has no X11 display with the Composite extension\n",
     "",
     0},
};

INSTANTIATE_TEST_SUITE_P(Modes, NoDisplay, ::testing::ValuesIn(headlessCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ShellIdentity, ACopyWithoutInfoJsonHasNoBundleIdentifier) {
  QTemporaryDir home;
  const QString copy = home.path() + "/Copy.app";
  ASSERT_TRUE(copyTree(builtBundle(), copy));
  ASSERT_TRUE(QFile::remove(copy + "/Info.json"));
  QProcessEnvironment environment = isolatedEnvironment(home.path());
  environment.insert("CREL_BUNDLE_DIR", builtBundle()); // the executable's place decides, not this
  const ProcessResult run = runProgram(copy + "/bin/crel", {"--diagnostics"}, environment);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.contains("\nbundleIdentifier=none\n")) << qPrintable(run.out);
}

struct FileStamp {
  ino_t inode = 0;
  timespec modified{};
  bool operator==(const FileStamp &o) const {
    return inode == o.inode && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

std::optional<FileStamp> stamp(const QString &path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0)
    return std::nullopt;
  return FileStamp{info.st_ino, info.st_mtim};
}

// An ordinary launch of a copy at `bundle`, ended by a signal once its
// launch sequence ran.
ProcessResult launchAndSignal(const QString &home, const QString &bundle, const QStringList &arguments = {},
                              int signalNumber = SIGTERM) {
  QProcessEnvironment environment = isolatedEnvironment(home);
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  environment.insert("QT_LOGGING_RULES", "crel.launch.info=true");
  return runUntilReadyThenSignal(bundle + "/bin/crel", arguments, environment, "launch sequence finished",
                                 signalNumber);
}

TEST(ShellLaunchAtLogin, FirstInstalledLaunchRegistersOnceAndQuitsNormallyOnSigterm) {
  QTemporaryDir home;
  const QString bundle = home.path() + "/Applications/Crel.app";
  ASSERT_TRUE(QDir().mkpath(home.path() + "/Applications"));
  ASSERT_TRUE(copyTree(builtBundle(), bundle));
  const QString entry = home.path() + "/.config/autostart/co.quorvex.crel.desktop";

  const ProcessResult first = launchAndSignal(home.path(), bundle);
  ASSERT_TRUE(first.finished);
  EXPECT_FALSE(first.crashed) << "SIGTERM must end the loop, not the process";
  EXPECT_EQ(first.status, 0) << qPrintable(first.err);
  const QByteArray written = contents(entry);
  ASSERT_FALSE(written.isEmpty());
  EXPECT_TRUE(
      QString::fromUtf8(written).contains("Exec=" + QDir(bundle).canonicalPath() + "/bin/crel --launched-at-login\n"));

  const ProcessResult diagnostics =
      runProgram(bundle + "/bin/crel", {"--diagnostics"}, isolatedEnvironment(home.path()));
  EXPECT_TRUE(diagnostics.out.contains("launchAtLoginStatus=1\nlaunchAtLoginInitialized=true\n"))
      << qPrintable(diagnostics.out);

  // A second launch, and one at login, leave the entry alone; Ctrl+C and a
  // hang-up quit as SIGTERM does.
  const std::optional<FileStamp> before = stamp(entry);
  ASSERT_TRUE(before);
  for (const auto &[arguments, signalNumber] :
       {std::pair{QStringList{}, SIGINT}, std::pair{QStringList{"--launched-at-login"}, SIGHUP}}) {
    const ProcessResult again = launchAndSignal(home.path(), bundle, arguments, signalNumber);
    EXPECT_FALSE(again.crashed) << signalNumber;
    EXPECT_EQ(again.status, 0) << signalNumber;
    EXPECT_EQ(stamp(entry), before);
  }
}

// The real application in a copy whose HEIF helper is gone, cannot run, or
// cannot load its libraries (the loader exits 127, as the script does): the
// image is refused with the open alert, which blames the copy, not the
// file, and nothing outside the copy decodes it in the helper's place.
TEST(ShellHelpers, ACopyWithoutItsHeifHelperRefusesTheImage) {
  const struct {
    const char *name;
    std::function<bool(const QString &)> spoil; // the helper's path
  } rows[] = {
      {"missing", [](const QString &helper) { return QFile::remove(helper); }},
      {"not executable",
       [](const QString &helper) {
         return QFile::setPermissions(helper, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
       }},
      {"its library missing",
       [](const QString &helper) {
         QFile script(helper);
         return script.open(QIODevice::WriteOnly | QIODevice::Truncate) && script.write("#!/bin/sh\nexit 127\n") > 0;
       }},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    QTemporaryDir home;
    const QString copy = home.path() + "/Copy.app", helper = copy + "/bin/crel-heif-decoder";
    ASSERT_TRUE(copyTree(builtBundle(), copy));
    ASSERT_TRUE(row.spoil(helper));
    const QString photo = home.path() + "/photo.heic";
    ASSERT_TRUE(QFile::copy(QStringLiteral(CREL_HEIC_FIXTURES "/quadrants-800x500.heic"), photo));
    QProcessEnvironment environment = isolatedEnvironment(home.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    const ProcessResult run =
        runUntilReadyThenSignal(copy + "/bin/crel", {photo}, environment, "could not be opened", SIGTERM);
    EXPECT_TRUE(run.err.contains("photo.heic could not be opened: Crel's HEIC decoder is missing."))
        << qPrintable(run.err);
    EXPECT_TRUE(QDir(home.path() + "/Pictures/Crel").entryList({"*.png"}).isEmpty());
  }
}

// Which copies and runs may register is the install rule's table; here, that
// the real launch asks it.
TEST(ShellLaunchAtLogin, ATemporaryCopyNeverWritesTheEntry) {
  QTemporaryDir home;
  const QString temporary = home.path() + "/unpacked/Crel.app";
  ASSERT_TRUE(QDir().mkpath(home.path() + "/unpacked"));
  ASSERT_TRUE(copyTree(builtBundle(), temporary));
  EXPECT_EQ(launchAndSignal(home.path(), temporary).status, 0);
  EXPECT_FALSE(QFileInfo::exists(home.path() + "/.config/autostart"));
}

} // namespace
