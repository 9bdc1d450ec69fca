// Capture on a Wayland session: the stills come from a stand-in for the
// desktop's Screenshot portal on the test bed's private D-Bus session, while
// the panels run on the X server as they would under XWayland.

#include "../portal/CodedDesktop.h"
#include "X11SelectionFixture.h"

#include "capture/CaptureSnapshot.h"
#include "platform/display/X11SnapshotProvider.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <optional>

#include <sys/stat.h>

using namespace crel;
using namespace crel::test;

namespace {

const QString declined = "The desktop declined the screenshot. Allow this application to take screenshots when your "
                         "desktop asks, or in the privacy section of your desktop's settings, then start a new "
                         "capture.";
const QString failed = "The display could not be captured. Start a new capture.";
const QString backendFailed = "The desktop portal's screenshot backend failed%1. Make sure it can run "
                              "(xdg-desktop-portal-wlr needs grim and a running PipeWire), then start a new capture.";
const QString incomplete = "The desktop named its screenshot by an incomplete path, so it could not be read. Start "
                           "a new capture.";
const QString declinedBeside = "If it was not that, the desktop declined the screenshot: allow this application to "
                               "take screenshots when your desktop asks, or in the privacy section of your desktop's "
                               "settings.";
const QString backends = "(xdg-desktop-portal-wlr for sway and other wlroots desktops, xdg-desktop-portal-gnome for "
                         "GNOME, xdg-desktop-portal-kde for Plasma)";

// Makes this process believe it runs in a Wayland or an X11 session.
class Session {
public:
  explicit Session(bool wayland) : type_(qgetenv("XDG_SESSION_TYPE")), display_(qgetenv("WAYLAND_DISPLAY")) {
    qputenv("XDG_SESSION_TYPE", wayland ? "wayland" : "x11");
    if (wayland)
      qputenv("WAYLAND_DISPLAY", "wayland-0");
    else
      qunsetenv("WAYLAND_DISPLAY");
  }
  ~Session() {
    qputenv("XDG_SESSION_TYPE", type_);
    if (display_.isEmpty())
      qunsetenv("WAYLAND_DISPLAY");
    else
      qputenv("WAYLAND_DISPLAY", display_);
  }

private:
  QByteArray type_;
  QByteArray display_;
};

// The stand-in portal, a process of its own on the test bed's session bus.
class Stub {
public:
  Stub() {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(CREL_PORTAL_STUB, QStringList());
    const auto registered = [] {
      return QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.portal.Desktop").value();
    };
    if (!process_.waitForStarted(10000) || !QTest::qWaitFor(registered, 10000))
      process_.kill();
  }
  ~Stub() {
    process_.terminate();
    process_.waitForFinished(5000);
  }
  bool running() const { return process_.state() == QProcess::Running; }

  void answer(const QString &mode, const QString &folder, int scale = 1, int delayMs = 0) {
    QDBusReply<void> reply = control().call("SetAnswer", mode, scale, folder, delayMs);
    ASSERT_TRUE(reply.isValid()) << reply.error().message().toStdString();
  }
  int requests() { return QDBusReply<int>(control().call("Requests")).value(); }
  QVariantMap lastOptions() { return QDBusReply<QVariantMap>(control().call("LastOptions")).value(); }
  void watch(const QString &folder) { control().call("Watch", folder); }
  bool watchedExisted() { return QDBusReply<bool>(control().call("WatchedExisted")).value(); }

private:
  QDBusInterface control() {
    return QDBusInterface("org.freedesktop.portal.Desktop", "/org/crel/test/PortalStub", "org.crel.test.PortalStub");
  }

  QProcess process_;
};

// Sets an environment variable for as long as it lives.
class Variable {
public:
  Variable(const char *name, const QString &value)
      : name_(name), old_(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt) {
    qputenv(name, QFile::encodeName(value));
  }
  ~Variable() { old_ ? qputenv(name_, *old_) : qunsetenv(name_); }
  Variable(const Variable &) = delete;
  Variable &operator=(const Variable &) = delete;

private:
  const char *name_;
  std::optional<QByteArray> old_;
};

// The test bed's dual layout with the stub answering; the process takes the
// Wayland session's road unless a test says otherwise.
class PortalCapture : public X11Selection {
protected:
  void SetUp() override {
    if (layout() != "dual" || !QDBusConnection::sessionBus().isConnected())
      GTEST_SKIP() << "needs scripts/xvfb-testbed --layout dual";
    X11Selection::SetUp();
    if (!started)
      started = std::make_unique<Stub>();
    stub = started.get();
    ASSERT_TRUE(stub->running());
    ASSERT_TRUE(elsewhere.isValid() && temporary.isValid() && home.isValid());
    // A fresh home whose desktop names a Pictures folder it has not made.
    ASSERT_TRUE(QDir(home.path()).mkpath(".config"));
    namePictures("$HOME/Bilder");
    stub->watch(pictures);
  }
  void namePictures(const QByteArray &folder) {
    QFile dirs(home.filePath(".config/user-dirs.dirs"));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly) && dirs.write("XDG_PICTURES_DIR=\"" + folder + "\"\n") > 0);
  }
  static void TearDownTestSuite() { started.reset(); }

  static QStringList filesIn(const QString &folder) { return QDir(folder).entryList(QDir::Files); }

  static inline std::unique_ptr<Stub> started;
  Stub *stub = nullptr;
  // Made before TMPDIR points into `temporary`: a folder the user owns.
  QTemporaryDir elsewhere;
  QTemporaryDir temporary;
  QTemporaryDir home;
  const QString pictures = home.filePath("Bilder");
  Variable temporaryVariable{"TMPDIR", temporary.path()};
  Variable homeVariable{"HOME", home.path()};
  Variable configVariable{"XDG_CONFIG_HOME", home.filePath(".config")};
  Session session{true};
};

} // namespace

// A 16-bit picture takes 8 bytes a pixel to read. The desktop's Pictures
// folder is made before the portal is asked: KDE's saves the picture there.
TEST_F(PortalCapture, StillsPerDisplayAtNativeResolutionWhateverTheScreenshotsScale) {
  const QList<QScreen *> screens = QGuiApplication::screens();
  ASSERT_EQ(screens.size(), 2);
  ASSERT_FALSE(QFileInfo::exists(pictures));
  const struct {
    const char *mode;
    int scale;
  } cases[] = {{"ok", 1}, {"ok", 2}, {"ok-16bit", 1}, {"ok-slash", 1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " at " << c.scale);
    stub->answer(c.mode, temporary.path(), c.scale);
    const int before = stub->requests();
    const auto provider = SnapshotProvider::createDefault();
    const Stills outcome = take(*provider);
    ASSERT_FALSE(outcome.error) << CaptureCoordinator::errorMessage(outcome.error).toStdString();
    EXPECT_EQ(stub->requests(), before + 1);
    EXPECT_TRUE(stub->watchedExisted());
    EXPECT_EQ(stub->lastOptions().value("interactive"), QVariant(false));
    EXPECT_FALSE(stub->lastOptions().value("handle_token").toString().isEmpty());
    ASSERT_EQ(outcome.snapshots.size(), 2u);
    for (int i = 0; i < 2; ++i) {
      const CaptureSnapshot &snapshot = outcome.snapshots[size_t(i)];
      const coded::Display &display = coded::displays()[size_t(i)];
      ASSERT_EQ(screens[i]->name(), display.name);
      EXPECT_EQ(snapshot.displayID, SnapshotProvider::displayID(screens[i]));
      EXPECT_EQ(snapshot.screenFrame.toQRectF(), QRectF(screens[i]->geometry()));
      EXPECT_EQ(snapshot.image.size(), display.native.size());
      EXPECT_EQ(snapshot.image.devicePixelRatio(), screens[i]->devicePixelRatio());
      EXPECT_EQ(coded::mismatches(snapshot.image, i, {0, 0}), 0);
    }
    EXPECT_TRUE(filesIn(temporary.path()).isEmpty()) << "the portal's file is taken away";
  }
}

// Wherever the portal made the file for the capture: some desktops' portals
// (KDE's) leave it in the user's pictures.
TEST_F(PortalCapture, TheFileThePortalMadeForTheCaptureIsRemovedUnlessTheDocumentPortalShowsIt) {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  ASSERT_FALSE(runtime.isEmpty());
  QDir(runtime).mkpath("doc/1234");
  QDir(runtime).mkpath("portal-shots");
  const struct {
    QString folder;
    bool removed;
  } cases[] = {
      {temporary.path(), true},
      {runtime + "/portal-shots", true},
      {runtime + "/doc/1234", false}, // the document portal shows a user's file there
      {elsewhere.path(), true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.folder.toStdString());
    stub->answer("ok", c.folder);
    const auto provider = SnapshotProvider::createDefault();
    const Stills outcome = take(*provider);
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(filesIn(c.folder).size(), c.removed ? 0 : 1);
    for (const QString &file : filesIn(c.folder))
      QFile::remove(c.folder + "/" + file);
  }

  // A capture given up before the answer arrives still takes the file away.
  stub->answer("ok", temporary.path(), 1, 300);
  const int before = stub->requests();
  const auto provider = SnapshotProvider::createDefault();
  bool called = false;
  QObject receiver;
  provider->takeDisplays(&receiver, [&](auto, auto) { called = true; }).cancel();
  ASSERT_TRUE(QTest::qWaitFor([&] { return stub->requests() == before + 1; }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !filesIn(temporary.path()).isEmpty(); }, 10000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return filesIn(temporary.path()).isEmpty(); }, 10000));
  EXPECT_FALSE(called);
}

// The portal's backend descriptions: a screenshot backend alone, among files
// no backend wrote. Read as they are, one grows memory without end and one
// blocks for ever; the large one would add an Access backend.
QString hostileDescriptions(const QString &folder) {
  const auto write = [&](const QString &name, const QByteArray &bytes) {
    QFile file(folder + "/" + name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
  };
  const QString fifo = folder + "/fifo";
  if (!write("wlr.portal", "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.wlr\n"
                           "Interfaces=org.freedesktop.impl.portal.Screenshot;\n") ||
      !write("large.portal",
             QByteArray(1 << 20, '#') + "\n[portal]\nInterfaces=org.freedesktop.impl.portal.Access;\n") ||
      mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0 ||
      mkfifo(QFile::encodeName(folder + "/fifo.portal").constData(), 0600) != 0 ||
      !QFile::link("/dev/zero", folder + "/zero.portal") || !QFile::link(fifo, folder + "/link-to-fifo.portal") ||
      !QFile::link(folder + "/gone", folder + "/dangling.portal"))
    return {};
  return folder;
}

TEST_F(PortalCapture, ADeclinedScreenshotAsksForPermissionAndOtherAnswersAreCaptureErrors) {
  QTemporaryDir descriptions;
  const QString hostile = hostileDescriptions(descriptions.path());
  ASSERT_FALSE(hostile.isEmpty());
  QTemporaryDir work;
  ASSERT_TRUE(QDir(work.path()).mkpath("relpics") && coded::desktop(1).save(work.filePath("relpics/x.png")));
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(work.path()));
  const auto back = qScopeGuard([&] { QDir::setCurrent(previous); });
  const QString notFullPath = "Your desktop's Pictures folder is set to “%1”, which is not a full path and likely the "
                              "cause: set a full path in " +
                              home.filePath(".config/user-dirs.dirs") + ", then start a new capture.";
  const struct {
    const char *mode;
    bool permission;
    QString message;
    QString portals = {};
    bool picturesBlocked = false; // a file where the Pictures folder belongs
    QByteArray picturesAt = {};   // another Pictures folder the desktop names
  } cases[] = {
      {"cancel", true, declined},
      // One that even root may not write.
      {"cancel",
       false,
       "Your desktop saves screenshots into the folder /proc/sys, which is read-only. Make it writable, then start a "
       "new capture. If it was not that, the desktop declined the screenshot: allow this application to take "
       "screenshots when your desktop asks, or in the privacy section of your desktop's settings.",
       {},
       false,
       "/proc/sys"},
      {"cancel",
       false,
       "Your desktop saves screenshots into the folder " + pictures +
           ", which is missing. The folder “Bilder” couldn’t be created because a file with that name is in the way. "
           "Make that folder, then start a new capture.",
       {},
       true},
      {"ended", false, backendFailed.arg("")},
      {"error", false, backendFailed.arg(" (the stub fails)")},
      {"no-backend", false,
       "The desktop portal has no screenshot backend for this desktop. Install the portal backend for your desktop " +
           backends + ", restart xdg-desktop-portal or log in again, then start a new capture."},
      {"no-backend", false,
       "The desktop portal has a screenshot backend but no Access backend, without which it offers no screenshots. "
       "Install the portal backend that provides it for your desktop (xdg-desktop-portal-gtk beside "
       "xdg-desktop-portal-wlr on sway and other wlroots desktops; GNOME's and Plasma's own backends provide it), "
       "restart xdg-desktop-portal or log in again, then start a new capture.",
       hostile},
      {"no-portal", false,
       "No desktop portal runs in this session, so the screen cannot be read. Install xdg-desktop-portal and the "
       "portal backend for your desktop " +
           backends + ", log in again, then start a new capture."},
      {"no-uri", false, failed},
      {"remote-uri", false, failed},
      // Neither read from the working folder, where a picture waits.
      {"relative", false, incomplete},
      {"host-uri", false, incomplete},
      // Where the Pictures folder is set by a relative path KDE's names its
      // picture so, or declines where that folder is missing: the setting is
      // named, a long one cut.
      {"relative",
       false,
       "The desktop named its screenshot by an incomplete path, so it could not be read. " +
           notFullPath.arg("relpics/" + QString(31, 'a') + "…"),
       {},
       false,
       "relpics/" + QByteArray(60, 'a')},
      {"cancel", false, notFullPath.arg("relpics") + ' ' + declinedBeside, {}, false, "relpics"},
      {"not-image", false, failed},
      {"wrong-types", false, failed},
      {"wrong-size", false, "A display changed. Start a new capture on an available display."},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.mode);
    stub->answer(c.mode, temporary.path());
    if (!c.portals.isEmpty())
      qputenv("XDG_DESKTOP_PORTAL_DIR", QFile::encodeName(c.portals));
    ASSERT_TRUE(QDir(pictures).removeRecursively());
    QFile blocking(pictures);
    if (c.picturesBlocked) {
      ASSERT_TRUE(blocking.open(QIODevice::WriteOnly));
    }
    if (!c.picturesAt.isEmpty())
      namePictures(c.picturesAt);
    const auto provider = SnapshotProvider::createDefault();
    const Stills outcome = take(*provider);
    qunsetenv("XDG_DESKTOP_PORTAL_DIR");
    namePictures("$HOME/Bilder");
    if (c.picturesBlocked)
      blocking.remove();
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.snapshots.empty());
    EXPECT_EQ(CaptureSnapshot::isPermissionError(outcome.error), c.permission);
    EXPECT_EQ(CaptureCoordinator::errorMessage(outcome.error), c.message);
    EXPECT_TRUE(filesIn(temporary.path()).isEmpty());
    EXPECT_EQ(filesIn(work.filePath("relpics")), QStringList{"x.png"});
  }

  // Through the coordinator: the permission request, and no panel.
  stub->answer("cancel", temporary.path());
  coordinator->begin();
  ASSERT_TRUE(QTest::qWaitFor([&] { return coordinator->phase() == Phase::idle; }, 10000));
  EXPECT_EQ(errors, std::vector<QString>{"permission"});
  EXPECT_TRUE(panels.empty());
}

TEST_F(PortalCapture, ADragOnEachDisplayCropsExactlyThosePixelsOfTheScreenshot) {
  stub->answer("ok", temporary.path(), 2);
  const QList<QScreen *> screens = QGuiApplication::screens();
  for (int index = 1; index >= 0; --index) {
    SCOPED_TRACE(screens[index]->name().toStdString());
    const qreal dpr = screens[index]->devicePixelRatio();
    images.clear();
    panels.clear();
    beginAndWaitForPanels();
    drag(screens[index], {150, 150}, {350, 250});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !images.empty() || !errors.empty(); }, 10000));
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].size(), QSize(200, 100) * dpr);
    EXPECT_EQ(coded::mismatches(images[0], index, QPoint(150, 150) * dpr), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return panelsGone(); }, 2000));
  }
}

TEST_F(PortalCapture, AnX11SessionKeepsReadingTheXServer) {
  Session x11(false);
  stub->answer("ok", temporary.path());
  const int before = stub->requests();
  const auto provider = SnapshotProvider::createDefault();
  EXPECT_TRUE(dynamic_cast<X11SnapshotProvider *>(provider.get()));
  paintRootPattern();
  const Stills outcome = take(*provider);
  ASSERT_FALSE(outcome.error) << CaptureCoordinator::errorMessage(outcome.error).toStdString();
  ASSERT_EQ(outcome.snapshots.size(), 2u);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(coded::mismatches(outcome.snapshots[size_t(i)].image, i, {0, 0}), 0);
  EXPECT_EQ(stub->requests(), before);
}

TEST_F(PortalCapture, TheDiagnosticsOfferEveryDisplayWithoutAsking) {
  const int before = stub->requests();
  const auto [content, error] = availableContent();
  EXPECT_FALSE(error) << CaptureCoordinator::errorMessage(error).toStdString();
  ASSERT_TRUE(content);
  EXPECT_EQ(content->displays.size(), 2u);
  EXPECT_EQ(stub->requests(), before);
}
