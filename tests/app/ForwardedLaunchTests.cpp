#include "app/ForwardedLaunch.h"
#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>
#include <thread>

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

TEST(SingleInstance, NoPrimaryMeansNoAnswer) {
  QTemporaryDir folder;
  EXPECT_EQ(SingleInstance::forward(folder.path(), request(Command::reopen), 200, 200), std::nullopt);
}

TEST(SingleInstance, TheRuntimeFolderIsPrivateOrRefused) {
  QTemporaryDir runtime;
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  const QString folder = SingleInstance::runtimeFolder("org.example.test");
  EXPECT_EQ(folder, runtime.path() + "/org.example.test");
  EXPECT_EQ(QFile::permissions(folder) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0);
  // Someone made it open to others: not used.
  QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ReadOther | QFile::ExeOther);
  EXPECT_TRUE(SingleInstance::runtimeFolder("org.example.test").isEmpty());
  // A link planted in its place: not followed.
  QTemporaryDir elsewhere;
  ASSERT_TRUE(QFile::link(elsewhere.path(), runtime.path() + "/org.example.link"));
  EXPECT_TRUE(SingleInstance::runtimeFolder("org.example.link").isEmpty());
  qunsetenv("XDG_RUNTIME_DIR");
}
