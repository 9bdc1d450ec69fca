#include "SwayFullScreen.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

namespace crel {

namespace {

enum : quint32 { runCommand = 0, getTree = 4 };
constexpr char magic[] = "i3-ipc";
constexpr qsizetype headerSize = sizeof magic - 1 + 8;

QByteArray message(quint32 type, const QByteArray &payload) {
  const quint32 words[2] = {quint32(payload.size()), type};
  return QByteArray(magic) + QByteArray(reinterpret_cast<const char *>(words), 8) + payload;
}

// The payload of the first whole message in `buffer`; nothing yet while it
// is partial, and an error for what is no reply of sway's or larger than any
// tree.
std::optional<QByteArray> payload(const QByteArray &buffer, bool &refused) {
  const QByteArrayView start(buffer.constData(), std::min(buffer.size(), qsizetype(sizeof magic - 1)));
  refused = !QByteArrayView(magic).startsWith(start);
  if (refused || buffer.size() < headerSize)
    return std::nullopt;
  quint32 length = 0;
  std::memcpy(&length, buffer.constData() + sizeof magic - 1, 4);
  refused = length > SwayFullScreen::maxReplyBytes;
  if (refused || buffer.size() < headerSize + qsizetype(length))
    return std::nullopt;
  return buffer.mid(headerSize, length);
}

// The focused node, or the full-screen window or container it is in
// (workspaces call themselves full screen too).
QJsonObject focusedNode(const QJsonObject &node, const QJsonObject &fullScreen = {}) {
  const QString type = node.value("type").toString();
  const bool container = type == "con" || type == "floating_con";
  const QJsonObject around = container && node.value("fullscreen_mode").toInt() != 0 ? node : fullScreen;
  if (node.value("focused").toBool())
    return around.isEmpty() ? node : around;
  for (const char *list : {"nodes", "floating_nodes"})
    for (const QJsonValue &child : node.value(list).toArray())
      if (QJsonObject found = focusedNode(child.toObject(), around); !found.isEmpty())
        return found;
  return {};
}

// A socket that goes once sway answered, failed or let it wait too long.
QLocalSocket *ask(QObject *parent, quint32 type, const QByteArray &request) {
  const QString path = qEnvironmentVariable("SWAYSOCK");
  if (path.isEmpty())
    return nullptr;
  auto *socket = new QLocalSocket(parent);
  QObject::connect(socket, &QLocalSocket::connected, socket, [socket, type, request] {
    socket->write(message(type, request));
    socket->flush();
  });
  QObject::connect(socket, &QLocalSocket::errorOccurred, socket, &QObject::deleteLater);
  QTimer::singleShot(SwayFullScreen::answerTimeoutMs, socket, &QObject::deleteLater);
  socket->connectToServer(path);
  return socket;
}

} // namespace

SwayFullScreen::SwayFullScreen(QObject *parent) : QObject(parent) {}

void SwayFullScreen::note(quint64 ownWindow) {
  restoreCommand_.clear();
  QLocalSocket *socket = ask(this, getTree, {});
  if (!socket)
    return;
  auto buffer = std::make_shared<QByteArray>();
  connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer, ownWindow] {
    *buffer += socket->readAll();
    bool refused = false;
    const std::optional<QByteArray> tree = payload(*buffer, refused);
    if (refused)
      return socket->deleteLater();
    if (!tree)
      return;
    const QJsonObject focused = focusedNode(QJsonDocument::fromJson(*tree).object());
    // 1: full screen on its workspace, 2: across every output.
    const int mode = focused.value("fullscreen_mode").toInt();
    if ((mode == 1 || mode == 2) && quint64(focused.value("window").toInteger()) != ownWindow)
      restoreCommand_ = QByteArray("[con_id=") + QByteArray::number(focused.value("id").toInteger()) +
                        "] fullscreen enable" + (mode == 2 ? " global" : "");
    socket->deleteLater();
  });
}

namespace {

QByteArray parked;

void send(const QByteArray &command) {
  // No parent: the command goes out even when its sender goes at once.
  if (QLocalSocket *socket = ask(nullptr, runCommand, command))
    QObject::connect(socket, &QLocalSocket::readyRead, socket, &QObject::deleteLater);
}

} // namespace

void SwayFullScreen::restore() {
  if (const QByteArray command = std::exchange(restoreCommand_, {}); !command.isEmpty())
    send(command);
}

void SwayFullScreen::park() { parked = std::exchange(restoreCommand_, {}); }

std::function<void()> SwayFullScreen::takeParked() {
  const QByteArray command = std::exchange(parked, {});
  if (command.isEmpty())
    return {};
  return [command] { send(command); };
}

} // namespace crel
