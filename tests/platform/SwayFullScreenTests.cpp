#include "platform/display/SwayFullScreen.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using crel::SwayFullScreen;

namespace {

// sway's reply to GET_TREE as the test chose it: header (magic, length, type)
// and payload.
QByteArray reply(const QByteArray &magic, quint32 length, const QByteArray &payload) {
  const quint32 words[2] = {length, 4};
  return magic + QByteArray(reinterpret_cast<const char *>(words), 8) + payload;
}

} // namespace

// A socket in sway's place: only a reply of sway's that fits a real tree is
// read, and anything else is dropped at once, not buffered while sway is
// waited for.
TEST(SwayFullScreen, OnlyARealReplyOfSwaysIsRead) {
  const QByteArray tree = R"({"type":"root","nodes":[{"type":"workspace","nodes":[
      {"type":"con","id":7,"window":4242,"focused":true,"fullscreen_mode":1}]}]})";
  const struct {
    const char *name;
    QByteArray answer;
    bool fullScreenNoted;
  } cases[] = {
      {"sway's reply", reply("i3-ipc", quint32(tree.size()), tree), true},
      {"wrong magic", reply("i3-ipX", quint32(tree.size()), tree), false},
      {"a claimed 4 GB", reply("i3-ipc", 0xffffffffu, tree), false},
  };
  QTemporaryDir folder;
  const QString path = folder.filePath("sway-ipc.sock");
  QLocalServer server;
  ASSERT_TRUE(server.listen(path));
  qputenv("SWAYSOCK", QFile::encodeName(path));
  const int timeout = std::exchange(SwayFullScreen::answerTimeoutMs, 60'000);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    SwayFullScreen sway;
    sway.note(1);
    ASSERT_TRUE(server.waitForNewConnection(10'000));
    QLocalSocket *peer = server.nextPendingConnection();
    ASSERT_TRUE(QTest::qWaitFor([&] { return peer->bytesAvailable() >= 14; }, 10'000));
    peer->readAll();
    peer->write(c.answer);
    peer->flush();
    EXPECT_TRUE(QTest::qWaitFor([&] { return peer->state() == QLocalSocket::UnconnectedState; }, 10'000));
    sway.park();
    EXPECT_EQ(bool(SwayFullScreen::takeParked()), c.fullScreenNoted);
    delete peer;
  }
  SwayFullScreen::answerTimeoutMs = timeout;
  qunsetenv("SWAYSOCK");
}
