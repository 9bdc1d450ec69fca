#include "app/ForwardedLaunch.h"
#include "app/SingleInstance.h"
#include "platform/files/FileLock.h"
#include "platform/files/RuntimeFolder.h"
#include "update/framework/Updater.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace crel;
using Command = ForwardedLaunch::Command;

namespace {

ForwardedLaunch request(Command command, QStringList paths = {}) { return {command, std::move(paths)}; }

// Runs the event loop until the future is ready: the primary answers on this thread.
template <class T> T pump(std::future<T> &future) {
  const QDeadlineTimer deadline(20'000);
  while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return future.get();
}

// A primary that notes the files of every request it is handed and answers yes.
struct Recording {
  explicit Recording(const QString &folder) : instance(folder) {
    listening = instance.becomePrimary();
    instance.setHandler([this](const ForwardedLaunch &request, const SingleInstance::Reply &reply) {
      handled << request.paths;
      reply(true);
    });
  }
  QString socketPath() const { return instance.socketPath(); }
  SingleInstance instance;
  bool listening = false;
  QStringList handled;
};

} // namespace

TEST(ForwardedLaunch, ALaunchForwardsItsFilesAbsoluteElseCaptureElseReopen) {
  struct Case {
    QStringList arguments;
    std::optional<ForwardedLaunch> expected;
  };
  const QString crel = QStringLiteral("/usr/bin/crel");
  const std::vector<Case> cases{
      {{crel}, request(Command::reopen)},
      {{crel, "--capture"}, request(Command::capture)},
      {{crel, "a.png", "../b c.jpg", "/abs/d.tiff"},
       request(Command::open, {"/home/u/w/a.png", "/home/u/b c.jpg", "/abs/d.tiff"})},
      // Files win over --capture; Qt's own option values are not files.
      {{crel, "-platform", "xcb", "--capture", "x.png"}, request(Command::open, {"/home/u/w/x.png"})},
      {{crel, "--launched-at-login"}, std::nullopt},
      // A switch's value names no file, whether or not its mode runs; unknown
      // switches and a session manager's restart options are passed over.
      {{crel, "--update-scenario", "quiet", "--marks", "M.json", "--title", "T", "--size", "S"},
       request(Command::reopen)},
      {{crel, "--render-editor", "out", "--fixture", "f", "--acceptance-test", "app", "y.png"},
       request(Command::open, {"/home/u/w/y.png"})},
      {{crel, "-session", "10d2c4e7f", "--sm-client-id", "abc", "--no-such-switch", "--capture"},
       request(Command::capture)},
  };
  for (const Case &c : cases)
    EXPECT_EQ(ForwardedLaunch::fromCommandLine(CommandLine(c.arguments), "/home/u/w"), c.expected)
        << c.arguments.join(' ').toStdString();
}

// However many files a launch names, it sends the first ones it has room
// for and the count of the rest, so the instance can say what did not open.
TEST(ForwardedLaunch, ALaunchSendsTheFilesWithinTheLimitAndCountsTheRest) {
  const auto named = [](qsizetype count, qsizetype length) {
    QStringList arguments{"/usr/bin/crel"};
    for (qsizetype i = 0; i < count; ++i)
      arguments << QStringLiteral("/f/%1-").arg(i) + QString(length, 'x');
    return arguments;
  };
  const struct {
    const char *name;
    QStringList arguments;
    std::optional<qsizetype> sent; // none: as many as the line holds
  } cases[]{
      {"at the limit", named(ForwardedLaunch::maxPaths, 8), ForwardedLaunch::maxPaths},
      {"ten thousand", named(10'000, 8), ForwardedLaunch::maxPaths},
      {"long names", named(20, 5'000), std::nullopt},
      // Longer than any path, as long as a process's argument gets.
      {"no name fits", named(3, 120'000), 0},
  };
  for (const auto &c : cases) {
    const std::optional<ForwardedLaunch> request = ForwardedLaunch::fromCommandLine(CommandLine(c.arguments), "/");
    ASSERT_TRUE(request) << c.name;
    EXPECT_EQ(request->command, Command::open) << c.name;
    if (c.sent) {
      EXPECT_EQ(request->paths.size(), *c.sent) << c.name;
    } else {
      EXPECT_GT(request->paths.size(), 1) << c.name;
    }
    EXPECT_EQ(request->paths, c.arguments.mid(1, request->paths.size())) << c.name;
    EXPECT_EQ(request->paths.size() + request->notOpened, c.arguments.size() - 1) << c.name;
    EXPECT_EQ(ForwardedLaunch::decode(request->encode()), request) << c.name;
  }
}

TEST(ForwardedLaunch, EveryRequestSurvivesTheLineAndAnswersDecode) {
  QStringList many;
  for (int i = 0; i < ForwardedLaunch::maxPaths; ++i)
    many << QStringLiteral("/p/ü %1\n\"x\".png").arg(i);
  for (const ForwardedLaunch &sent :
       {request(Command::reopen), request(Command::capture), request(Command::open, many)}) {
    const QByteArray line = sent.encode();
    ASSERT_TRUE(line.endsWith('\n'));
    EXPECT_EQ(line.count('\n'), 1); // one request, one line
    EXPECT_EQ(ForwardedLaunch::decode(line), sent);
  }
  EXPECT_EQ(ForwardedLaunch::decodeReply(ForwardedLaunch::encodeReply(true)), true);
  EXPECT_EQ(ForwardedLaunch::decodeReply(ForwardedLaunch::encodeReply(false)), false);
  EXPECT_EQ(ForwardedLaunch::decodeReply("{\"ok\":1}"), std::nullopt);
  EXPECT_EQ(ForwardedLaunch::decodeReply("garbage"), std::nullopt);
}

TEST(ForwardedLaunch, OversizedRequestsAreNotSent) {
  QStringList tooMany;
  for (int i = 0; i <= ForwardedLaunch::maxPaths; ++i)
    tooMany << "/p.png";
  EXPECT_TRUE(request(Command::open, tooMany).encode().isEmpty());
  EXPECT_TRUE(request(Command::open, {"/" + QString(70'000, 'a')}).encode().isEmpty());
}

TEST(ForwardedLaunch, AnythingButAWellFormedRequestIsRefused) {
  const std::vector<QByteArray> lines{
      "",
      "not json",
      "[1,2]",
      R"({"cmd":"reopen"})",                          // no version
      R"({"v":2,"cmd":"reopen"})",                    // another version
      R"({"v":"1","cmd":"reopen"})",                  // mistyped version
      R"({"v":1,"cmd":"quit"})",                      // unknown command
      R"({"v":1,"cmd":"open","paths":[]})",           // nothing to open
      R"({"v":1,"cmd":"open"})",                      // nothing to open
      R"({"v":1,"cmd":"open","paths":["rel.png"]})",  // relative to someone else's folder
      R"({"v":1,"cmd":"open","paths":[3]})",          // not a path
      R"({"v":1,"cmd":"open","paths":"/a.png"})",     // not a list
      R"({"v":1,"cmd":"reopen","paths":["/a.png"]})", // paths with another command
      R"({"v":1,"cmd":"open","paths":["/a.png"],"notOpened":-2})",
      R"({"v":1,"cmd":"open","paths":["/a.png"],"notOpened":1.5})",
      "{\"v\":1,\"cmd\":\"open\",\"paths\":[\"/" + QByteArray(70'000, 'a') + "\"]}",
  };
  for (const QByteArray &line : lines)
    EXPECT_EQ(ForwardedLaunch::decode(line), std::nullopt) << line.left(80).toStdString();
}

// The primary's answers to real later launches are checked on the real
// application under X; here, what those launches cannot send.
TEST(SingleInstance, AMalformedRequestIsAnsweredNoAndReachesNoHandler) {
  QTemporaryDir folder;
  SingleInstance primary(folder.path());
  ASSERT_TRUE(primary.becomePrimary());
  int handled = 0;
  primary.setHandler([&](const ForwardedLaunch &, const SingleInstance::Reply &reply) {
    ++handled;
    reply(true);
  });
  auto reply = std::async(std::launch::async, [&] {
    QLocalSocket socket;
    socket.connectToServer(primary.socketPath());
    if (!socket.waitForConnected(5000))
      return QByteArray("no connection");
    socket.write("{\"v\":1,\"cmd\":\"format-disk\"}\n");
    socket.waitForBytesWritten(5000);
    while (!socket.canReadLine() && socket.waitForReadyRead(5000)) {
    }
    return socket.readLine();
  });
  EXPECT_EQ(pump(reply), ForwardedLaunch::encodeReply(false));
  EXPECT_EQ(handled, 0);
}

// Nor is one in a folder others may enter: a launch sends its files only
// where nobody else can listen.
TEST(SingleInstance, NoPrimaryMeansNoAnswer) {
  QTemporaryDir folder;
  EXPECT_EQ(SingleInstance::forward(folder.path(), request(Command::reopen), 200, 200), std::nullopt);
  Recording primary(folder.path());
  ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
  auto answer = std::async(std::launch::async, [&] {
    return SingleInstance::forward(folder.path(), request(Command::open, {"/shot.png"}), 500, 5000);
  });
  EXPECT_EQ(pump(answer), std::nullopt);
  EXPECT_TRUE(primary.handled.isEmpty());
}

// The variables a session may or may not have, set for one test and put back after it.
struct SessionVariables {
  static constexpr const char *names[] = {"XDG_RUNTIME_DIR", "TMPDIR", "XDG_CACHE_HOME", "CREL_RUNTIME_DIR"};
  std::vector<QByteArray> saved;
  SessionVariables() {
    for (const char *name : names) {
      saved.push_back(qgetenv(name));
      qunsetenv(name);
    }
  }
  ~SessionVariables() {
    for (size_t i = 0; i < saved.size(); ++i)
      saved[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
  }
  static void set(const char *name, const QString &value) {
    value.isEmpty() ? qunsetenv(name) : qputenv(name, QFile::encodeName(value));
  }
};

// Two sessions of one user, one with $XDG_RUNTIME_DIR and one without (ssh
// -X, no pam_systemd), or one whose folder is open to others, or one that
// started before /run/user/<uid> came: every one finds the same instance
// lock, socket and copy lock, or each would be an instance (and an
// installer) of its own.
TEST(SingleInstance, EverySessionOfTheUserFindsTheSameLocks) {
  SessionVariables variables;
  QTemporaryDir scratch;
  const QString privateRuntime = scratch.filePath("run-private"), openRuntime = scratch.filePath("run-open");
  ASSERT_TRUE(QDir().mkpath(privateRuntime) && QDir().mkpath(openRuntime) && QDir().mkpath(scratch.filePath("tmp")));
  QFile::setPermissions(privateRuntime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QFile::setPermissions(openRuntime, QFile::permissions(privateRuntime) | QFile::ReadOther | QFile::ExeOther);
  struct Session {
    const char *name;
    QString runtime, temporary, cache;
  };
  const std::vector<Session> sessions{
      {"WithARuntimeFolder", privateRuntime, {}, {}},
      {"WithoutOne", {}, scratch.filePath("tmp"), scratch.filePath("cache")},
      {"WithOneOpenToOthers", openRuntime, {}, scratch.filePath("cache")},
  };
  const QString identifier = QStringLiteral("org.example.sessions-%1").arg(::getpid());
  QString first;
  for (const Session &session : sessions) {
    SessionVariables::set("XDG_RUNTIME_DIR", session.runtime);
    SessionVariables::set("TMPDIR", session.temporary);
    SessionVariables::set("XDG_CACHE_HOME", session.cache);
    const QString folder = SingleInstance::runtimeFolder(identifier);
    if (first.isEmpty())
      first = folder;
    EXPECT_EQ(folder.toStdString(), first.toStdString()) << session.name;
    EXPECT_FALSE(folder.startsWith(scratch.path())) << session.name;
    EXPECT_EQ(SingleInstance::socketPath(folder).toStdString(), SingleInstance::socketPath(first).toStdString())
        << session.name;
    EXPECT_EQ(update::Updater::copyLockFile(folder, "/opt/Crel.app").toStdString(),
              update::Updater::copyLockFile(first, "/opt/Crel.app").toStdString())
        << session.name;
    EXPECT_EQ(QFile::permissions(folder) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0);
  }
  QDir(first).removeRecursively();
}

// A lock file deleted while its instance runs (a cleaner of the folder): a
// later launch still finds the instance, through its socket, and hands its
// request over instead of taking the display. With the socket gone too, the
// instance takes both back within its check period: in its folder made again
// when that went whole, else where a launch looks once another user holds
// the name; and never through a link planted at the socket's side name.
// While no place can be had, it says so once, not at every check. A home so
// deep that the socket's path passes what an address holds changes nothing,
// and a first launch that cannot listen there keeps checking until /tmp is
// its own again; nor does a Wayland compositor's socket as deep as its own
// address allows.
TEST(SingleInstance, ALockFileGoneWhileHeldStillHandsOver) {
  const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
  const auto restore =
      qScopeGuard([&] { wayland.isNull() ? qunsetenv("WAYLAND_DISPLAY") : qputenv("WAYLAND_DISPLAY", wayland); });
  static QStringList warnings;
  const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) {
    if (m.contains("private folder"))
      warnings << m;
  });
  QTemporaryDir scratch;
  ASSERT_TRUE(QDir(scratch.path()).mkpath("tmp"));
  QString cache = scratch.filePath("cache");
  const auto launchPlace = [&] { return RuntimeFolder::path("org.example.heal", scratch.filePath("tmp"), cache); };
  const QString victim = scratch.filePath("victim");
  QFile(victim).open(QIODevice::WriteOnly);
  const QFile::Permissions victimMode = QFile::permissions(victim);
  std::optional<Recording> primary;
  const auto start = [&] {
    primary.emplace(launchPlace());
    primary->instance.setPlaceChoice(launchPlace);
    return primary->listening;
  };
  ASSERT_TRUE(start());
  // Once bound, before its mode is set, the side name becomes a link to the victim.
  struct SideLink : QObject {
    QByteArray side, victim;
    bool eventFilter(QObject *, QEvent *event) override {
      if (const QByteArray at = event->type() == QEvent::ChildAdded ? std::exchange(side, {}) : QByteArray();
          !at.isEmpty()) {
        EXPECT_TRUE(::unlink(at.constData()) == 0 && ::symlink(victim.constData(), at.constData()) == 0);
      }
      return false;
    }
  } sideLink;
  enum class Gone {
    lock,
    lockReplaced,
    socketToo,
    socketWithLinkedSide,
    folder,
    folderSquatted,
    everyPlace,
    instanceInTheSquat,
    squatWhileItCannotListen,
    deepWaylandSocket
  };
  for (const Gone gone :
       {Gone::lock, Gone::lockReplaced, Gone::socketToo, Gone::socketWithLinkedSide, Gone::folder, Gone::folderSquatted,
        Gone::everyPlace, Gone::instanceInTheSquat, Gone::squatWhileItCannotListen, Gone::deepWaylandSocket}) {
    SCOPED_TRACE(int(gone));
    const QString folder = primary->instance.folder(), socket = primary->socketPath();
    const QByteArray name = QFile::encodeName(folder);
    if (gone == Gone::deepWaylandSocket) {
      primary.reset();
      qputenv("WAYLAND_DISPLAY", QFile::encodeName("/run/" + QString(90, 'w') + "/wayland-1"));
      ASSERT_TRUE(start());
    } else if (gone >= Gone::instanceInTheSquat) {
      // The temporary name still another user's; restarted with a home 100 bytes deep.
      primary.reset();
      cache = scratch.filePath(QString(100, 'h'));
      const QString squat = scratch.filePath("tmp/org.example.heal-" + QString::number(::geteuid()));
      if (gone == Gone::squatWhileItCannotListen) {
        ASSERT_TRUE(QDir().mkpath(SingleInstance::socketPath(launchPlace())));
      }
      ASSERT_TRUE(start());
      EXPECT_GT(QFile::encodeName(primary->socketPath()).size(), 107);
      if (gone == Gone::squatWhileItCannotListen) {
        ASSERT_TRUE(QDir().rmdir(squat));
        EXPECT_TRUE(QTest::qWaitFor([&] { return primary->instance.folder() == launchPlace(); },
                                    3 * SingleInstance::checkIntervalMs + 1000));
      }
    } else if (gone == Gone::everyPlace) {
      // The temporary name still squatted, the cache place open to others
      // for a few checks: each finding is logged once, then it heals.
      ASSERT_TRUE(::chmod(name.constData(), 0755) == 0);
      QTest::qWait(2 * SingleInstance::checkIntervalMs + 500);
      EXPECT_EQ(warnings.filter(folder + " is not a private folder").size(), 2) << warnings.join('\n').toStdString();
      ASSERT_TRUE(::chmod(name.constData(), 0700) == 0);
    } else if (gone >= Gone::folder) {
      ASSERT_TRUE(QDir(folder).removeRecursively());
      if (gone == Gone::folderSquatted) {
        ASSERT_TRUE(::mkdir(name.constData(), 0) == 0 && ::chmod(name.constData(), 0777) == 0 &&
                    (::geteuid() != 0 || ::chown(name.constData(), 65534, 65534) == 0));
      }
    } else {
      const QString lock = folder + "/instance" + SingleInstance::instanceKey() + ".lock";
      ASSERT_TRUE(QFile::remove(lock));
      if (gone == Gone::lockReplaced)
        QFile(lock).open(QIODevice::WriteOnly);
      if (gone == Gone::socketWithLinkedSide) {
        sideLink.side = QFile::encodeName(socket) + ".new";
        sideLink.victim = QFile::encodeName(victim);
        primary->instance.findChild<QLocalServer *>()->installEventFilter(&sideLink);
      }
      if (gone >= Gone::socketToo) {
        ASSERT_TRUE(QFile::remove(socket));
      }
    }
    if (gone >= Gone::socketToo) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(primary->socketPath()); },
                                  3 * SingleInstance::checkIntervalMs + 1000));
    }
    if (struct stat made{}; gone == Gone::folder) {
      EXPECT_TRUE(::stat(name.constData(), &made) == 0 && (made.st_mode & 07777) == 0700);
    }
    if (gone == Gone::folderSquatted) {
      EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
                QStringList());
      EXPECT_EQ(warnings.filter(folder + " is not a private folder").size(), 1) << warnings.join('\n').toStdString();
    }
    EXPECT_TRUE(sideLink.side.isEmpty()); // it was there when the mode was set
    EXPECT_EQ(QFile::permissions(victim), victimMode);
    SingleInstance later(launchPlace());
    EXPECT_FALSE(later.becomePrimary());
    const qsizetype handled = primary->handled.size();
    auto answer = std::async(std::launch::async, [&] {
      return SingleInstance::forward(launchPlace(), request(Command::open, {"/shot.png"}));
    });
    EXPECT_EQ(pump(answer), std::optional<bool>(true));
    EXPECT_EQ(primary->handled.size(), handled + 1);
  }
  qInstallMessageHandler(previous);
}

// An instance with no descriptor left when a flood of connections comes (the
// accept that fails stops Qt's server for good): once the flood is gone, it
// listens again and a launch is answered.
TEST(SingleInstance, AFloodToTheDescriptorLimitIsOutlived) {
  QTemporaryDir folder;
  int ready[2], flooded[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe2(flooded, O_NONBLOCK), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    const rlimit limit{48, 48};
    ::setrlimit(RLIMIT_NOFILE, &limit);
    Recording primary(folder.path());
    std::vector<int> held; // what the instance holds besides: editors' files, helpers' pipes
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
      held.push_back(fd);
    const char listening = primary.listening ? 'y' : 'n';
    [[maybe_unused]] const auto written = ::write(ready[1], &listening, 1);
    const QDeadlineTimer end(20'000);
    char gone = 0;
    while (!end.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      if (!held.empty() && ::read(flooded[0], &gone, 1) == 1)
        for (const int fd : std::exchange(held, {}))
          ::close(fd);
      ::usleep(5000);
    }
    ::_exit(0);
  }
  ASSERT_GT(child, 0);
  char listening = 0;
  ASSERT_EQ(::read(ready[0], &listening, 1), 1);
  EXPECT_EQ(listening, 'y');
  {
    std::vector<std::unique_ptr<QLocalSocket>> flood(60);
    for (auto &socket : flood) {
      socket = std::make_unique<QLocalSocket>();
      socket->connectToServer(folder.filePath("instance" + SingleInstance::instanceKey() + ".sock"));
      if (socket->waitForConnected(200))
        socket->write("{\"v\":1,\"cmd\":\"op");
    }
    QTest::qWait(500);
  }
  ASSERT_EQ(::write(flooded[1], "x", 1), 1);
  // Within the check period and 2 s.
  EXPECT_EQ(SingleInstance::forward(folder.path(), request(Command::reopen), SingleInstance::checkIntervalMs + 2000),
            std::optional<bool>(true));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  for (const int fd : {ready[0], ready[1], flooded[0], flooded[1]})
    ::close(fd);
}

// An instance that started in the other place (another user held the
// temporary name then) keeps the display once that name is free again: a
// later launch hands over to it rather than start a second one, also while
// another launch holds the lock of its own place on the way there.
TEST(SingleInstance, AnInstanceInTheOtherPlaceIsHandedTheLaunch) {
  QTemporaryDir place, other, empty;
  {
    Recording primary(other.path());
    ASSERT_TRUE(primary.listening);
    EXPECT_TRUE(SingleInstance::isRunning(place.path(), SingleInstance::instanceKey(), other.path()));
    for (const int launches : {1, 8}) {
      FileLock handingOver(place.filePath("instance" + SingleInstance::instanceKey() + ".lock"));
      ASSERT_TRUE(launches == 1 || handingOver.tryLock(FileLock::Mode::exclusive));
      std::vector<std::future<std::optional<bool>>> answers;
      for (int i = 0; i < launches; ++i)
        answers.push_back(std::async(std::launch::async, [&] {
          SingleInstance later(place.path(), other.path());
          if (later.becomePrimary())
            return std::optional<bool>();
          EXPECT_TRUE(launches > 1 || later.folder() == other.path());
          return later.forward(request(Command::open, {"/shot.png"}));
        }));
      for (auto &answer : answers)
        EXPECT_EQ(pump(answer), std::optional<bool>(true)) << launches;
    }
    EXPECT_EQ(primary.handled.size(), 9);
  }
  // Nobody there: the launch is the instance, in its own place.
  SingleInstance alone(place.path(), empty.path());
  EXPECT_TRUE(alone.becomePrimary());
  EXPECT_EQ(alone.folder(), place.path());
}

// Whether another display runs an instance is asked of its socket: a probe
// never takes that instance's lock (a launch there at that moment would
// fail), and the instance counts as running even when its lock file went.
TEST(SingleInstance, AProbeOfAnotherDisplayAsksItsSocket) {
  QTemporaryDir folder;
  const QString key = SingleInstance::instanceKey();
  const QString lock = folder.filePath("instance" + key + ".lock");
  EXPECT_FALSE(SingleInstance::isRunning(folder.path(), key));
  {
    SingleInstance primary(folder.path());
    ASSERT_TRUE(primary.becomePrimary());
    EXPECT_TRUE(SingleInstance::isRunning(folder.path(), key));
    ASSERT_TRUE(QFile::remove(lock));
    EXPECT_TRUE(SingleInstance::isRunning(folder.path(), key));
  }
  // A launch taking the lock while probes run is never turned away.
  std::atomic<bool> probing = true;
  auto probes = std::async(std::launch::async, [&] {
    int running = 0;
    while (probing)
      running += SingleInstance::isRunning(folder.path(), key);
    return running;
  });
  int refused = 0;
  for (int i = 0; i < 2000; ++i) {
    FileLock starting(lock);
    refused += !starting.tryLock(FileLock::Mode::exclusive);
  }
  probing = false;
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(probes.get(), 0);
}

TEST(SingleInstance, EverySpellingOfOneDisplayNamesOneInstance) {
  struct Case {
    QString display, wayland, key;
  };
  const QString host = QStringLiteral("workstation"), runtime = QStringLiteral("/run/user/1000");
  const std::vector<Case> cases{
      {":7", "", ":7"},
      {":7.0", "", ":7"},
      {":7.1", "", ":7"},
      {"unix:7", "", ":7"},
      {"unix:7.0", "", ":7"},
      {"localhost:7", "", ":7"},
      {"127.0.0.1:7.0", "", ":7"},
      {"[::1]:7", "", ":7"},
      {"WorkStation:7.0", "", ":7"},
      {"unix/workstation:07", "", ":7"},
      // Another machine's server, and names that are not X display names.
      {"build-host:7.0", "", "build-host:7"},
      {"", "", ""},
      {"/tmp/.X11-unix/X7", "", "_tmp_.X11-unix_X7"},
      // On Wayland the compositor's socket decides, whatever X says.
      {":7", "wayland-1", "-_run_user_1000_wayland-1"},
      {":3.0", "/run/user/1000/wayland-1", "-_run_user_1000_wayland-1"},
      {":3.0", "/run/user/1000//wayland-1", "-_run_user_1000_wayland-1"},
      {":7", "/elsewhere/wayland-1", "-_elsewhere_wayland-1"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(SingleInstance::instanceKey(c.display, c.wayland, host, runtime), c.key)
        << c.display.toStdString() << " " << c.wayland.toStdString();
}

TEST(SingleInstance, ARequestItsLaunchGaveUpOnIsNeverCarriedOut) {
  QTemporaryDir folder;
  Recording primary(folder.path());
  ASSERT_TRUE(primary.listening);
  const QStringList &handled = primary.handled;
  const auto send = [&](const QString &path, int replyTimeout) {
    return std::async(std::launch::async, [&folder, path, replyTimeout] {
      return SingleInstance::forward(folder.path(), request(Command::open, {path}), 5000, replyTimeout);
    });
  };
  // The primary's loop is held (a stopped or busy instance) until the launch gave up.
  auto late = send("/late.png", 300);
  EXPECT_EQ(late.get(), std::nullopt);
  QDeadlineTimer settle(1500);
  while (!settle.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_TRUE(handled.isEmpty()) << handled.join(' ').toStdString();
  // One that waits long enough is answered.
  auto timely = send("/timely.png", 20'000);
  EXPECT_EQ(pump(timely), std::optional<bool>(true));
  EXPECT_EQ(handled, QStringList{"/timely.png"});
}

// Once the primary took a request, its launch waits for the answer as long
// as the primary lives; before that, only until its deadline.
TEST(SingleInstance, AnAcceptedRequestIsAnsweredHoweverLongItTakes) {
  struct Case {
    const char *name;
    bool accept;
    bool primaryDies; // instead of answering
    std::optional<bool> launchHears;
  };
  const std::vector<Case> cases{
      {"accepted, answered after the deadline", true, false, true},
      {"not accepted, answered after the deadline", false, false, std::nullopt},
      {"accepted, then the primary went away", true, true, std::nullopt},
  };
  for (const Case &c : cases) {
    QTemporaryDir folder;
    QObject timers;
    auto primary = std::make_unique<SingleInstance>(folder.path());
    ASSERT_TRUE(primary->becomePrimary());
    constexpr int replyTimeout = 1300; // one second of it is the answering margin
    primary->setHandler([&](const ForwardedLaunch &, const SingleInstance::Reply &reply) {
      if (c.accept)
        reply.accept();
      QTimer::singleShot(replyTimeout + 700, &timers, [&, reply] {
        if (c.primaryDies)
          primary.reset();
        else
          reply(true);
      });
    });
    auto answer = std::async(std::launch::async, [&folder] {
      return SingleInstance::forward(folder.path(), request(Command::open, {"/a.png"}), 5000, replyTimeout);
    });
    EXPECT_EQ(pump(answer), c.launchHears) << c.name;
  }
}

// Connections that send half a request and wait: past the cap the oldest
// go, a partial line goes after its timeout, and a launch that forwards
// meanwhile is still answered.
TEST(SingleInstance, IdleHalfRequestsAreCappedAndTimedOutWhileALaunchIsAnswered) {
  QTemporaryDir folder;
  Recording primary(folder.path());
  ASSERT_TRUE(primary.listening);
  const QStringList &handled = primary.handled;
  constexpr int idle = SingleInstance::maxUnfinished + 40;
  std::vector<std::unique_ptr<QLocalSocket>> flood;
  for (int i = 0; i < idle; ++i) {
    flood.push_back(std::make_unique<QLocalSocket>());
    flood.back()->connectToServer(primary.socketPath());
    ASSERT_TRUE(flood.back()->waitForConnected(5000)) << i;
    flood.back()->write("{\"v\":1,\"cmd\":\"op");
    flood.back()->flush();
    QCoreApplication::processEvents();
  }
  const auto connected = [&flood] {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return std::count_if(flood.begin(), flood.end(), [](const auto &socket) {
      socket->waitForReadyRead(0); // notices a close
      return socket->state() == QLocalSocket::ConnectedState;
    });
  };
  EXPECT_TRUE(QTest::qWaitFor([&] { return connected() <= SingleInstance::maxUnfinished; }, 5000)) << connected();
  // The newest are the ones kept.
  EXPECT_EQ(flood.back()->state(), QLocalSocket::ConnectedState);

  auto answer = std::async(std::launch::async, [&folder] {
    ForwardedLaunch launch = request(Command::open, {"/later.png"});
    return SingleInstance::forward(folder.path(), launch, 5000, 5000);
  });
  EXPECT_EQ(pump(answer), std::optional<bool>(true));
  EXPECT_EQ(handled, QStringList{"/later.png"});

  EXPECT_TRUE(QTest::qWaitFor([&] { return connected() == 0; }, SingleInstance::partialLineTimeoutMs + 3000))
      << connected() << " half requests are still held";
}
