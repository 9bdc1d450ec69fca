#pragma once

#include <QByteArray>
#include <QHash>
#include <QTcpServer>
#include <QUrl>

struct HttpFault {
  qint64 cutAfter = -1;        // close after this many body bytes
  qint64 announcedLength = -1; // Content-Length to send instead of the real one
  bool hold = false;           // after a cut, keep the connection open (a stalled transfer)
};

// A plain HTTP/1.1 server on 127.0.0.1 that answers GETs from a table of
// paths. A path can be set to misbehave: close the connection after part of
// the body or stall there, or announce a length other than the body's; or
// it can redirect elsewhere.
class LoopbackFeedServer : public QTcpServer {
  Q_OBJECT
public:
  LoopbackFeedServer();
  void serve(const QString &path, const QByteArray &body, HttpFault fault = {});
  // Answers `path` with "302 Found" to `target`, with "Content-Length: 0"
  // (as release hosts and CDNs send it) when `emptyLength`, else no length.
  void redirect(const QString &path, const QUrl &target, bool emptyLength = true);
  // What `path` served moves to `newPath`, and `path` redirects there.
  void moveBehindRedirect(const QString &path, const QString &newPath, bool emptyLength = true);
  QUrl url(const QString &path) const;
  int requestCount(const QString &path) const { return requests_.value(path); }

private:
  void answer(QTcpSocket *socket);

  struct Entry {
    QByteArray body;
    HttpFault fault;
    QByteArray location; // set: a redirect
    bool emptyLength = false;
  };
  QHash<QString, Entry> entries_;
  QHash<QString, int> requests_;
};
