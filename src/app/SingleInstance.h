#pragma once

#include "ForwardedLaunch.h"

#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace crel {

// One running instance per user: the first launch holds a lock file and
// listens on a socket beside it; later launches hand their request to it and
// end. A lock left by a killed instance is taken over (its process is gone).
class SingleInstance : public QObject {
  Q_OBJECT
public:
  // The request's answer: whether it did what was asked.
  using Reply = std::function<void(bool ok)>;
  using Handler = std::function<void(const ForwardedLaunch &request, Reply reply)>;

  static constexpr int connectTimeoutMs = 3000;
  static constexpr int replyTimeoutMs = 10000;

  // $XDG_RUNTIME_DIR/<identifier>, or a private folder in the temporary one;
  // created with mode 0700. Empty when no such folder can be made safe
  // (someone else's, a symbolic link, open to others).
  static QString runtimeFolder(const QString &identifier);

  explicit SingleInstance(QString folder, QObject *parent = nullptr);
  ~SingleInstance() override;

  // Takes the lock and listens; false when another instance holds it.
  // Throws when the lock or the socket cannot be set up at all.
  bool becomePrimary();
  // Requests are handed to `handler` on the main thread, one at a time per
  // connection; an answer given after the connection died goes nowhere.
  void setHandler(Handler handler) { handler_ = std::move(handler); }

  // From a later launch: the primary's answer, or none when no primary
  // answered in time.
  static std::optional<bool> forward(const QString &folder, const ForwardedLaunch &request,
                                     int connectTimeout = connectTimeoutMs, int replyTimeout = replyTimeoutMs);

  const QString &folder() const { return folder_; }
  QString socketPath() const;
  static QString socketPath(const QString &folder);

private:
  void acceptConnections();
  void readRequest(QLocalSocket *socket);

  QString folder_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer *server_ = nullptr;
  Handler handler_;
};

} // namespace crel
