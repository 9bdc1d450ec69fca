#pragma once

#include "ForwardedLaunch.h"

#include "platform/files/FileLock.h"
#include "platform/files/RuntimeFolder.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;
class QTimer;

namespace crel {

// One running instance per display server: the first launch holds a lock
// file and listens on a socket beside it; later launches hand their request
// to it and end. The lock ends with its process, so a killed instance
// leaves nothing in the way. A request that arrives too late to be answered
// in time is dropped: its launch has already said it failed. The deadline
// decides only whether a request is taken: one the instance accepted is
// carried out however long it takes, and its launch waits for the answer.
class SingleInstance : public QObject {
  Q_OBJECT
public:
  // The answers to one request. accept() tells its launch that the request
  // will be carried out: from then on the launch waits while this instance
  // lives. The call with `ok`, whether it did what was asked, is the last
  // word. Answers after the launch went away go nowhere.
  class Reply {
  public:
    Reply(std::function<void()> accepted, std::function<void(bool ok)> answered)
        : accepted_(std::move(accepted)), answered_(std::move(answered)) {}
    void accept() const {
      if (accepted_)
        accepted_();
    }
    void operator()(bool ok) const {
      if (answered_)
        answered_(ok);
    }

  private:
    std::function<void()> accepted_;
    std::function<void(bool ok)> answered_;
  };
  using Handler = std::function<void(const ForwardedLaunch &request, Reply reply)>;

  static constexpr int connectTimeoutMs = 3000;
  static constexpr int replyTimeoutMs = 10000;
  // Connections that have not sent their whole request: at most this many
  // are kept, and no more than half the descriptors left, the oldest going
  // for a new one, and none for longer than
  // partialLineTimeoutMs, so idle connections never take the descriptors
  // the instance needs to save. A launch sends its line as it connects.
  static constexpr int maxUnfinished = 64;
  static constexpr int partialLineTimeoutMs = 3000;
  // A live instance takes a connection at once; this only bounds a stopped one.
  static constexpr int probeTimeoutMs = 1000;
  // How often the instance makes sure it still listens at its socket and
  // holds the lock file at its path (either can go: a failed accept stops
  // the server, a cleaner removes files). One coarse timer, nothing more.
  static constexpr int checkIntervalMs = 2000;

  // The user's own folder for the lock and the socket (RuntimeFolder).
  static QString runtimeFolder(const QString &identifier);
  // What the lock and socket are named after: the Wayland compositor's
  // socket when `waylandDisplay` is set (a bare name lies in
  // `runtimeDirectory`), else the X display's number, whatever spells it
  // local (":0", ":0.1", "unix:0", "localhost:0", "<this host>:0"). Another
  // machine's display keeps its host.
  static QString instanceKey(const QString &display, const QString &waylandDisplay, const QString &hostName,
                             const QString &runtimeDirectory);
  // The key of this process's environment.
  static QString instanceKey();
  // Whether an instance runs on the display of `key` in either folder: it
  // answers on its socket. Its lock is left alone.
  static bool isRunning(const QString &folder, const QString &key, const QString &otherFolder = {});

  // `otherFolder`: where an instance of this display may also listen
  // (RuntimeFolder::otherPlace); a launch finding one there hands over to it.
  explicit SingleInstance(QString folder, QString otherFolder = {}, QObject *parent = nullptr);
  ~SingleInstance() override;

  // Takes the lock and listens; false when another instance holds the lock
  // or, its lock file gone, still answers on the socket, or answers in the
  // other folder (folder() is then that one, and the other this one's own).
  // Throws when the lock cannot be set up at all. One that cannot listen yet
  // says why and keeps checking: it listens once a place can be had.
  bool becomePrimary();
  // What the destructor lets go, for a run that ends without unwinding (the
  // display went): a launch from now on becomes the next instance.
  void release();
  // Requests are handed to `handler` on the main thread, one at a time per
  // connection; an answer given after the connection died goes nowhere. A
  // request read too late (ForwardedLaunch::isLate) never reaches it.
  void setHandler(Handler handler) { handler_ = std::move(handler); }
  // Where a launch would put the instance now (RuntimeFolder's choice: a
  // private folder, made again when it went, or empty): the check takes the
  // lock and socket back there. By default the instance's own folder.
  void setPlaceChoice(std::function<QString()> choose) { choosePlace_ = std::move(choose); }

  // From a later launch: the primary's answer, or none when no primary
  // answered in time. The request carries the time this call gives up,
  // unless the primary accepted it by then: then it waits for the answer
  // as long as the primary keeps the connection. Connections are tried in
  // `folder` and `otherFolder` by turns until the connect timeout, each
  // only while it is private.
  static std::optional<bool> forward(const QString &folder, const ForwardedLaunch &request,
                                     int connectTimeout = connectTimeoutMs, int replyTimeout = replyTimeoutMs,
                                     const QString &otherFolder = {});
  // The same to this display's instance, in this launch's place or the other.
  std::optional<bool> forward(const ForwardedLaunch &request) const;

  const QString &folder() const { return folder_; }
  QString socketPath() const;
  static QString socketPath(const QString &folder);

Q_SIGNALS:
  // After every check: the instance's lock is in `folder` (made again, or
  // another), where the other locks kept in the runtime folder follow.
  void checked(const QString &folder);

private:
  static QString lockPath(const QString &folder);
  static QString socketName();
  void report(const QString &problem);
  void listen();
  void stopListening();
  bool ownsSocketPath() const;
  void check();
  size_t unfinishedCap() const;
  void acceptConnections();
  void readRequest(QLocalSocket *socket);
  void finished(QLocalSocket *socket);

  QString folder_;
  QString otherFolder_;
  // folder_ as it was when the socket was bound there.
  PrivateFolder place_;
  FileLock lock_;
  QLocalServer *server_ = nullptr;
  // The socket file made by listen(), as lstat names it.
  std::uint64_t socketDevice_ = 0, socketInode_ = 0;
  QTimer *checks_ = nullptr;
  QString problem_; // the last one logged
  Handler handler_;
  std::function<QString()> choosePlace_;
  // Oldest first.
  std::deque<QPointer<QLocalSocket>> unfinished_;
};

} // namespace crel
