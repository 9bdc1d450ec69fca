#include "SingleInstance.h"

#include "platform/files/FileError.h"
#include "platform/files/RuntimeFolder.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <stdexcept>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace crel {

namespace {

Q_LOGGING_CATEGORY(lcInstance, "crel.instance")

// One instance per display: windows live there, and two sessions of one
// user share the runtime folder. A key too long for a socket's address
// beside the folder's descriptor (a compositor's socket deep in a home can
// take all 107 bytes) goes by its hash.
QString baseName(const QString &key) {
  constexpr qsizetype longestKey = 48;
  const QByteArray bytes = QFile::encodeName(key);
  if (bytes.size() <= longestKey)
    return QStringLiteral("instance") + key;
  return QStringLiteral("instance-") +
         QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(32));
}
QString baseName() { return baseName(SingleInstance::instanceKey()); }

// One wording at the start and at every check, so a reason that lasts is logged once.
QString cannotListen(const std::exception &error) { return "cannot listen: " + QString::fromStdString(error.what()); }

// Spellings of this machine in an X display name.
bool isLocalHost(QString host, const QString &hostName) {
  if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
    host = host.mid(1, host.size() - 2);
  for (const char *local : {"", "unix", "localhost", "127.0.0.1", "::1"})
    if (host == QLatin1String(local))
      return true;
  return !hostName.isEmpty() && host.compare(hostName, Qt::CaseInsensitive) == 0;
}

// A connection to the socket `name` in `folder` while that folder is private
// (a launch sends file paths), made through the folder held open: the
// address fits however deep the folder lies.
bool connectIn(QLocalSocket &socket, const QString &folder, const QString &name, int timeoutMs) {
  const PrivateFolder held(folder);
  if (!held.isOpen())
    return false;
  socket.connectToServer(held.entry(name));
  if (socket.waitForConnected(timeoutMs))
    return true;
  socket.abort(); // Qt would try again through a descriptor that goes now
  return false;
}

// Whether an instance listens at `name` in `folder`: a connection is taken at
// once by a live server and refused where only a dead one's socket is left.
bool answers(const QString &folder, const QString &name) {
  QLocalSocket socket;
  const bool answered = connectIn(socket, folder, name, SingleInstance::probeTimeoutMs);
  socket.abort();
  return answered;
}

bool peerIsUs(const QLocalSocket &socket) {
  struct ucred credentials {};
  socklen_t length = sizeof credentials;
  const int fd = int(socket.socketDescriptor());
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
    return false;
  return credentials.uid == ::getuid();
}

// The mode of what `name` names in `folder`, never of what a link there
// points to (glibc sets it through an O_PATH descriptor and /proc; without
// /proc it fails as it does for a link, which lstat tells apart). 0 or the
// error.
int setModeOfName(int folder, const QByteArray &name, mode_t mode) {
  if (::fchmodat(folder, name.constData(), mode, AT_SYMLINK_NOFOLLOW) == 0)
    return 0;
  const int error = errno;
  struct stat named {};
  return error == EOPNOTSUPP && ::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                 S_ISLNK(named.st_mode)
             ? ELOOP
             : error;
}

} // namespace

QString SingleInstance::runtimeFolder(const QString &identifier) { return RuntimeFolder::path(identifier); }

QString SingleInstance::instanceKey(const QString &display, const QString &waylandDisplay, const QString &hostName,
                                    const QString &runtimeDirectory) {
  QString key;
  if (!waylandDisplay.isEmpty()) {
    // "wayland-0" means $XDG_RUNTIME_DIR/wayland-0. The compositor's socket
    // names it whole: every session shares one runtime folder of ours, and
    // two compositors' sockets of one name may sit in different folders.
    const QString socket = QDir::isAbsolutePath(waylandDisplay) || runtimeDirectory.isEmpty()
                               ? waylandDisplay
                               : runtimeDirectory + QLatin1Char('/') + waylandDisplay;
    key = QLatin1Char('-') + QDir::cleanPath(socket);
  } else {
    // [protocol/][host]:number[.screen]
    static const QRegularExpression form(QStringLiteral(R"(^(?:(\w+)/)?(.*):(\d+)(?:\.\d+)?$)"));
    const QRegularExpressionMatch match = form.match(display);
    if (!match.hasMatch())
      key = display;
    else if (isLocalHost(match.captured(2), hostName))
      key = QLatin1Char(':') + QString::number(match.captured(3).toULongLong());
    else
      key = match.captured(2) + QLatin1Char(':') + QString::number(match.captured(3).toULongLong());
  }
  key.replace(QLatin1Char('/'), QLatin1Char('_'));
  return key;
}

QString SingleInstance::instanceKey() {
  return instanceKey(qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"),
                     QSysInfo::machineHostName(), qEnvironmentVariable("XDG_RUNTIME_DIR"));
}

bool SingleInstance::isRunning(const QString &folder, const QString &key, const QString &otherFolder) {
  // Asked of its socket: taking its lock, even for a moment, would turn
  // away a launch on that display at that instant.
  const auto answersIn = [&key](const QString &in) { return !in.isEmpty() && answers(in, baseName(key) + ".sock"); };
  return answersIn(folder) || answersIn(otherFolder);
}

SingleInstance::SingleInstance(QString folder, QString otherFolder, QObject *parent)
    : QObject(parent), folder_(std::move(folder)), otherFolder_(std::move(otherFolder)) {}

SingleInstance::~SingleInstance() {
  if (server_)
    stopListening();
}

// The socket file goes only while it is our own, and from the folder it was
// bound in, never from what the path names now: another instance may hold
// the display there by now, another user the name. Qt removes the side name
// it bound when it closes, through that folder's descriptor too.
void SingleInstance::stopListening() {
  if (ownsSocketPath())
    ::unlinkat(place_.descriptor(), QFile::encodeName(socketName()).constData(), 0);
  server_->close();
}

void SingleInstance::release() {
  if (checks_)
    checks_->stop();
  if (server_)
    stopListening();
  lock_ = FileLock();
}

QString SingleInstance::socketPath() const { return socketPath(folder_); }

QString SingleInstance::socketPath(const QString &folder) { return folder + QLatin1Char('/') + socketName(); }

QString SingleInstance::socketName() { return baseName() + ".sock"; }

QString SingleInstance::lockPath(const QString &folder) { return folder + QLatin1Char('/') + baseName() + ".lock"; }

bool SingleInstance::becomePrimary() {
  lock_ = FileLock(lockPath(folder_));
  if (!lock_.tryLock(FileLock::Mode::exclusive)) {
    if (lock_.isBusy())
      return false;
    throw std::runtime_error("The instance lock cannot be taken: " + qt_error_string(lock_.error()).toStdString());
  }
  // The lock file may have gone while its instance lives (a cleaner of the
  // folder): the socket it still listens on says so, and it takes the request.
  if (answers(folder_, socketName())) {
    lock_ = FileLock();
    return false;
  }
  // One that started in the other place still runs there: requests go to it.
  if (!otherFolder_.isEmpty() && answers(otherFolder_, socketName())) {
    lock_ = FileLock();
    std::swap(folder_, otherFolder_);
    return false;
  }
  server_ = new QLocalServer(this);
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
  // Whatever keeps it from listening now, the display is this one's: the
  // check listens once a place can be had.
  checks_ = new QTimer(this);
  checks_->setTimerType(Qt::VeryCoarseTimer);
  connect(checks_, &QTimer::timeout, this, &SingleInstance::check);
  connect(checks_, &QTimer::timeout, this, [this] { Q_EMIT checked(folder_); });
  checks_->start(checkIntervalMs);
  try {
    listen();
  } catch (const std::exception &error) {
    report(cannotListen(error));
  }
  return true;
}

// A problem that lasts is logged once.
void SingleInstance::report(const QString &problem) {
  if (std::exchange(problem_, problem) != problem)
    qCWarning(lcInstance).noquote() << problem;
}

// The socket is bound beside its path and moved there in one step, replacing
// one a killed primary left: a launch finds the old or the new one, never
// none. Qt knows it by the name it was bound at, so closing the server never
// removes what lies at the path then, which may be another instance's. The
// folder is judged ours as it is opened, and bound in through its descriptor.
void SingleInstance::listen() {
  // Before the descriptor Qt's name goes through is replaced.
  if (server_->isListening())
    server_->close();
  place_ = PrivateFolder(folder_);
  if (!place_.isOpen())
    throw std::runtime_error(QFile::encodeName(folder_).toStdString() + " is not a private folder");
  const int folder = place_.descriptor();
  const QByteArray name = QFile::encodeName(socketName());
  const QByteArray fresh = name + ".new";
  const QString address = place_.entry(QFile::decodeName(fresh));
  // Qt wants room for a zero before and after.
  if (size_t(QFile::encodeName(address).size()) + 2 > sizeof sockaddr_un::sun_path)
    throw std::runtime_error("The instance socket's name is too long: " + name.toStdString());
  ::unlinkat(folder, fresh.constData(), 0);
  if (!server_->listen(address))
    throw std::runtime_error(server_->errorString().toStdString());
  // Cleaners of runtime and temporary folders pass over sticky files; a
  // socket that cannot be made one still takes requests.
  if (const int error = setModeOfName(folder, fresh, S_ISVTX | S_IRUSR | S_IWUSR); error != 0)
    qCWarning(lcInstance).noquote() << "the instance socket cannot be made sticky:" << qt_error_string(error);
  struct stat made {};
  const int error = ::fstatat(folder, fresh.constData(), &made, AT_SYMLINK_NOFOLLOW) != 0  ? errno
                    : !S_ISSOCK(made.st_mode)                                              ? ENOTSOCK
                    : ::renameat(folder, fresh.constData(), folder, name.constData()) != 0 ? errno
                                                                                           : 0;
  if (error != 0) {
    server_->close(); // removes the fresh name
    throw std::runtime_error("The instance socket cannot be made: " + qt_error_string(error).toStdString());
  }
  socketDevice_ = made.st_dev;
  socketInode_ = made.st_ino;
}

bool SingleInstance::ownsSocketPath() const {
  struct stat named {};
  const QByteArray name = QFile::encodeName(socketName());
  return ::fstatat(place_.descriptor(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISSOCK(named.st_mode) && named.st_dev == socketDevice_ && named.st_ino == socketInode_;
}

// Asked of the files alone, never by connecting to ourselves. A folder that
// is not ours any more (it went whole, and another user made one of its
// name) is never written into: the lock and socket are taken back where a
// launch looks now.
void SingleInstance::check() {
  const bool ours = RuntimeFolder::isPrivate(folder_);
  const bool locked = ours && lock_.isCurrent();
  // The socket's folder is still the one the path names.
  const bool listening = ours && place_.isAt(folder_) && server_->isListening() && ownsSocketPath();
  if (locked && listening)
    return;
  const QString place = choosePlace_ ? choosePlace_() : RuntimeFolder::prepared(folder_);
  if (place.isEmpty()) {
    report(folder_ + QStringLiteral(" is not a private folder, and no other can be had: launches cannot find this "
                                    "instance"));
    return;
  }
  const bool moving = place != folder_;
  if (!locked || moving) {
    // The lock first: only its holder may replace the socket.
    try {
      FileLock fresh(lockPath(place));
      if (!fresh.tryLock(FileLock::Mode::exclusive)) {
        report(fresh.isBusy() ? QStringLiteral("another instance holds this display now; its socket is left alone")
                              : "the instance lock cannot be taken again: " + qt_error_string(fresh.error()));
        return;
      }
      lock_ = std::move(fresh);
    } catch (const FileError &error) {
      report(error.message());
      return;
    }
    qCInfo(lcInstance) << "the instance lock was taken again";
    // A connection waiting to be accepted would be lost with the old socket.
    if (listening && !moving) {
      problem_.clear();
      return;
    }
  }
  if (moving) {
    qCWarning(lcInstance).noquote() << folder_ +
                                           (ours ? QStringLiteral(" is no longer where launches look")
                                                 : QStringLiteral(" is not a private folder any more")) +
                                           QStringLiteral(": the instance moves to ") + place;
    stopListening();
    folder_ = place;
  }
  try {
    listen();
    problem_.clear();
    qCInfo(lcInstance) << "listening again at" << socketPath();
  } catch (const std::exception &error) {
    report(cannotListen(error));
  }
}

// Half the descriptors left under the soft limit, counting those the
// unfinished connections hold: the rest stay free for what the instance
// must open.
size_t SingleInstance::unfinishedCap() const {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return maxUnfinished;
  DIR *descriptors = ::opendir("/proc/self/fd");
  if (!descriptors)
    return errno == EMFILE || errno == ENFILE ? 1 : size_t(maxUnfinished);
  long open = -1; // the listing's own
  while (const dirent *entry = ::readdir(descriptors))
    open += entry->d_name[0] != '.';
  ::closedir(descriptors);
  const long soft = long(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
  return size_t(std::clamp((soft - open + long(unfinished_.size())) / 2, 1L, long(maxUnfinished)));
}

void SingleInstance::acceptConnections() {
  while (QLocalSocket *socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (!peerIsUs(*socket)) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    // The new connection is always read: a complete request arriving in a
    // flood of idle ones still gets its answer.
    std::erase_if(unfinished_, [](const QPointer<QLocalSocket> &s) { return !s; });
    // The descriptors are counted only when there is a connection to drop:
    // a launch that sends its line at once never waits for the listing.
    if (!unfinished_.empty()) {
      const size_t cap = unfinishedCap();
      while (!unfinished_.empty() && unfinished_.size() >= cap) {
        if (QLocalSocket *oldest = unfinished_.front()) {
          oldest->abort();
          oldest->deleteLater();
        }
        unfinished_.pop_front();
      }
    }
    unfinished_.emplace_back(socket);
    QTimer::singleShot(partialLineTimeoutMs, socket, [this, socket] {
      if (std::find(unfinished_.begin(), unfinished_.end(), socket) == unfinished_.end())
        return;
      finished(socket);
      socket->abort();
      socket->deleteLater();
    });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
    readRequest(socket);
  }
}

void SingleInstance::finished(QLocalSocket *socket) {
  std::erase_if(unfinished_, [socket](const QPointer<QLocalSocket> &s) { return !s || s == socket; });
}

void SingleInstance::readRequest(QLocalSocket *socket) {
  const auto refuse = [this, socket] {
    finished(socket);
    socket->write(ForwardedLaunch::encodeReply(false));
    socket->disconnectFromServer();
  };
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() > ForwardedLaunch::maxLineBytes)
      refuse();
    return;
  }
  // One request per connection.
  finished(socket);
  disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
  const std::optional<ForwardedLaunch> request =
      ForwardedLaunch::decode(socket->readLine(ForwardedLaunch::maxLineBytes + 1));
  // Also one whose launch gave up while this loop was held (a stopped or
  // busy instance): carried out now, it would contradict what the launch said.
  if (!request || !handler_ || request->isLate()) {
    refuse();
    return;
  }
  const QPointer<QLocalSocket> peer(socket);
  auto answered = std::make_shared<bool>(false);
  handler_(*request, Reply(
                         [peer, answered] {
                           if (!peer || *answered)
                             return;
                           peer->write(ForwardedLaunch::encodeAcceptance());
                           peer->flush();
                         },
                         [peer, answered](bool ok) {
                           if (!peer || std::exchange(*answered, true))
                             return;
                           peer->write(ForwardedLaunch::encodeReply(ok));
                           peer->flush();
                           peer->disconnectFromServer();
                         }));
}

std::optional<bool> SingleInstance::forward(const ForwardedLaunch &request) const {
  return forward(folder_, request, connectTimeoutMs, replyTimeoutMs, otherFolder_);
}

std::optional<bool> SingleInstance::forward(const QString &folder, const ForwardedLaunch &request, int connectTimeout,
                                            int replyTimeout, const QString &otherFolder) {
  if (request.encode().isEmpty())
    return false;
  QLocalSocket socket;
  QStringList folders{folder};
  if (!otherFolder.isEmpty())
    folders << otherFolder;
  // The primary may hold the lock but not listen yet, and the lock this
  // launch found busy may be another launch's on its way to the other place.
  const QDeadlineTimer connectDeadline(connectTimeout);
  for (qsizetype attempt = 0;; ++attempt) {
    if (connectIn(socket, folders[attempt % folders.size()], socketName(),
                  int(std::clamp<qint64>(connectDeadline.remainingTime(), 0, probeTimeoutMs))))
      break;
    if (connectDeadline.hasExpired())
      return std::nullopt;
    if (attempt % folders.size() == folders.size() - 1)
      ::usleep(50'000);
  }
  // The time this launch gives up travels with the request.
  const QDeadlineTimer replyDeadline(replyTimeout);
  ForwardedLaunch timed = request;
  timed.deadline = replyDeadline.deadline();
  const QByteArray line = timed.encode();
  if (line.isEmpty())
    return false;
  socket.write(line);
  if (!socket.waitForBytesWritten(int(replyDeadline.remainingTime())))
    return std::nullopt;
  while (!socket.canReadLine()) {
    if (replyDeadline.hasExpired() || !socket.waitForReadyRead(int(replyDeadline.remainingTime())))
      break;
  }
  if (!socket.canReadLine())
    return std::nullopt;
  QByteArray answer = socket.readLine(256);
  if (ForwardedLaunch::isAcceptance(answer)) {
    // Taken in time: the files are read however long that lasts. While the
    // primary lives it holds the connection; a primary that died drops it.
    while (!socket.canReadLine() && socket.waitForReadyRead(-1)) {
    }
    if (!socket.canReadLine())
      return std::nullopt;
    answer = socket.readLine(256);
  }
  return ForwardedLaunch::decodeReply(answer);
}

} // namespace crel
