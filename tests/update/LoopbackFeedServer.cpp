#include "LoopbackFeedServer.h"

#include <QTcpSocket>

LoopbackFeedServer::LoopbackFeedServer() {
  listen(QHostAddress::LocalHost);
  connect(this, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket *socket = nextPendingConnection()) {
      connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
}

void LoopbackFeedServer::serve(const QString &path, const QByteArray &body, HttpFault fault) {
  entries_.insert(path, {body, fault});
}

void LoopbackFeedServer::redirect(const QString &path, const QUrl &target, bool emptyLength) {
  entries_.insert(path, {{}, {}, target.toEncoded(), emptyLength});
}

void LoopbackFeedServer::moveBehindRedirect(const QString &path, const QString &newPath, bool emptyLength) {
  entries_.insert(newPath, entries_.value(path));
  redirect(path, url(newPath), emptyLength);
}

QUrl LoopbackFeedServer::url(const QString &path) const {
  return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
}

void LoopbackFeedServer::answer(QTcpSocket *socket) {
  QByteArray request = socket->property("request").toByteArray() + socket->readAll();
  socket->setProperty("request", request);
  if (!request.contains("\r\n\r\n"))
    return;
  const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
  const QString path = line.size() > 1 ? QString::fromUtf8(line[1]) : QString();
  ++requests_[path];
  const auto found = entries_.constFind(path);
  if (found == entries_.constEnd()) {
    socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
    return;
  }
  const Entry &entry = *found;
  if (!entry.location.isEmpty()) {
    // Without a length, the body ends with the connection, as a page would.
    socket->write("HTTP/1.1 302 Found\r\nConnection: close\r\nLocation: " + entry.location + "\r\n" +
                  (entry.emptyLength ? QByteArray("Content-Length: 0\r\n\r\n")
                                     : "\r\n<a href=\"" + entry.location + "\">Found</a>"));
    socket->disconnectFromHost();
    return;
  }
  const qint64 length = entry.fault.announcedLength >= 0 ? entry.fault.announcedLength : entry.body.size();
  socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                QByteArray::number(length) + "\r\n\r\n");
  socket->write(entry.fault.cutAfter >= 0 ? entry.body.left(entry.fault.cutAfter) : entry.body);
  if (!entry.fault.hold)
    socket->disconnectFromHost();
}
