#include "PortalSnapshotProvider.h"

#include "PortalScreenshotFile.h"

#include "platform/files/FileError.h"
#include "platform/files/OwnedDescriptor.h"
#include "platform/files/RegularFile.h"
#include "platform/files/UserFolders.h"

#include <QColorSpace>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>
#include <QThreadPool>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <optional>

namespace crel {

Q_LOGGING_CATEGORY(lcPortal, "crel.portal")

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

using Status = PortalSnapshotProvider::Status;
using Outcome = std::function<void(std::vector<DisplayStill> stills, std::exception_ptr error)>;

QRect nativeRect(const SnapshotProvider::Screen &screen) {
  const QSize size(std::max(1, int(std::lround(screen.frame.width() * screen.scaleFactor))),
                   std::max(1, int(std::lround(screen.frame.height() * screen.scaleFactor))));
  return QRect(screen.frame.topLeft().toPoint(), size);
}

QRect nativeBounds(const std::vector<SnapshotProvider::Screen> &screens) {
  QRect bounds;
  for (const auto &screen : screens)
    bounds |= nativeRect(screen);
  return bounds;
}

std::vector<DisplayStill> stillsFromFile(int fd, const std::vector<SnapshotProvider::Screen> &screens) {
  QFile file;
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
    throw SnapshotError::failed();
  QImageReader reader(&file);
  reader.setAutoTransform(false);
  const QSize size = reader.size();
  if (!size.isValid()) {
    qCWarning(lcPortal) << "the screenshot is not a readable image:" << reader.errorString();
    throw SnapshotError::failed();
  }
  // A picture far larger than the desktop is no picture of it; refuse before
  // allocating for it.
  const QRect bounds = nativeBounds(screens);
  if (size.width() > 8 * bounds.width() || size.height() > 8 * bounds.height())
    throw SnapshotError::displayChanged();
  // 8 bytes a pixel: Qt reads a 16-bit picture as 16 bits a channel.
  reader.setAllocationLimit(int(qint64(size.width()) * size.height() * 8 / (1024 * 1024)) + 1);
  const QImage desktop = reader.read();
  if (desktop.isNull()) {
    qCWarning(lcPortal) << "could not decode the screenshot:" << reader.errorString();
    throw SnapshotError::failed();
  }
  const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  const std::vector<WaylandOutput> outputs = WaylandOutputs::query(environment).value_or(std::vector<WaylandOutput>{});
  return PortalSnapshotProvider::cutDesktop(desktop, screens, outputs, [&environment](const WaylandOutput &output) {
    return WaylandOutputs::capture(environment, output.name);
  });
}

// What a refused Screenshot call means for the user: nobody owns the
// portal's name, the portal has no Screenshot interface (it offers one only
// with a backend for this desktop), or the backend said no.
bool portalMissing(const QDBusError &error) {
  switch (error.type()) {
  case QDBusError::ServiceUnknown: // also when nobody owns the name
  case QDBusError::Disconnected:
  case QDBusError::NoServer:
  case QDBusError::NoNetwork: return true;
  default: return false;
  }
}

// Whether a backend of the portal front end offers `interface`, read as the
// front end reads it at its start: the Interfaces key of the [portal] group
// of each *.portal file in its folder. Only regular files of a backend's size
// count: a FIFO, a device or a huge file there is nobody's description.
bool backendOffers(const QString &interface) {
  constexpr qint64 maxDescriptionBytes = 64 * 1024;
  const QDir folder(
      qEnvironmentVariable("XDG_DESKTOP_PORTAL_DIR", QStringLiteral("/usr/share/xdg-desktop-portal/portals")));
  for (const QString &name : folder.entryList({QStringLiteral("*.portal")}, QDir::Files | QDir::Readable)) {
    const std::optional<QByteArray> description =
        RegularFile::read(folder.filePath(name), RegularFile::Links::follow, maxDescriptionBytes);
    if (!description)
      continue;
    bool inPortal = false;
    for (const QByteArray &raw : description->split('\n')) {
      const QString line = QString::fromUtf8(raw).trimmed();
      if (line.startsWith(u'['))
        inPortal = line == QLatin1String("[portal]");
      else if (inPortal && line.section(u'=', 0, 0).trimmed() == QLatin1String("Interfaces") &&
               line.section(u'=', 1).split(u';').contains(interface))
        return true;
    }
  }
  return false;
}

// The front end offers no Screenshot interface without a screenshot backend,
// nor without an Access backend beside it (Debian's wlr backend comes alone).
Status::Presence withoutScreenshot() {
  return backendOffers(QStringLiteral("org.freedesktop.impl.portal.Screenshot")) &&
                 !backendOffers(QStringLiteral("org.freedesktop.impl.portal.Access"))
             ? Status::Presence::withoutAccess
             : Status::Presence::withoutScreenshot;
}

SnapshotError callError(const QDBusError &error) {
  if (portalMissing(error))
    return SnapshotError::noPortal();
  switch (error.type()) {
  case QDBusError::UnknownMethod:
  case QDBusError::UnknownInterface:
  case QDBusError::UnknownObject: return Status{withoutScreenshot()}.refusal();
  default: return SnapshotError::screenshotBackendFailed(error.message());
  }
}

// One Screenshot call and its answer, on the main thread. A child of the
// relay, so it goes when the outcome has been handed on.
class PortalRequest final : public QObject {
  Q_OBJECT

public:
  PortalRequest(std::vector<SnapshotProvider::Screen> screens, SnapshotRequest request, QObject *relay, Outcome outcome)
      : QObject(relay), screens_(std::move(screens)), request_(std::move(request)), relay_(relay),
        outcome_(std::move(outcome)) {}

  void start() {
    // KDE's backend saves the picture into the Pictures folder and fails
    // without one, which a fresh home lacks.
    try {
      UserFolders::make(pictures_);
    } catch (const FileError &e) {
      qCWarning(lcPortal) << "no Pictures folder for the portal:" << e.message();
      picturesError_ = e.message();
    }
    requested_ = PortalScreenshotFile::requestTime();
    const QString token = QStringLiteral("crel_") + QUuid::createUuid().toString(QUuid::Id128);
    // Subscribe before calling, so that an answer that comes at once is not
    // missed.
    const QString sender = bus_.baseService().mid(1).replace('.', '_');
    listen(QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token));
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, QStringLiteral("/org/freedesktop/portal/desktop"),
                                                       QStringLiteral("org.freedesktop.portal.Screenshot"),
                                                       QStringLiteral("Screenshot"));
    call << QString() << QVariantMap{{QStringLiteral("handle_token"), token}, {QStringLiteral("interactive"), false}};
    // Answers later even when the bus is missing.
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *watcher) {
      watcher->deleteLater();
      const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
      if (reply.isError()) {
        qCWarning(lcPortal) << "the screenshot portal failed:" << reply.error().name() << reply.error().message();
        finish(callError(reply.error()));
      } else if (reply.value().path() != path_) {
        // Portals before version 0.9 chose the request path themselves.
        listen(reply.value().path());
      }
    });
  }

public Q_SLOTS:
  // Takes any signature: a malformed answer is a failure, not silence.
  void response(const QDBusMessage &message) {
    if (finished_)
      return;
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() != 2 || arguments[0].metaType().id() != QMetaType::UInt ||
        arguments[1].metaType() != QMetaType::fromType<QDBusArgument>())
      return malformed("unexpected arguments " + message.signature());
    const uint code = arguments[0].toUInt();
    if (code != 0 && setAside_.value.isEmpty() && !picturesError_.isEmpty() && !QFileInfo(pictures_).isDir())
      return finish(SnapshotError::picturesFolderMissing(pictures_, picturesError_));
    if (code == 1)
      return finish(declined());
    if (code != 0) {
      qCWarning(lcPortal) << "the screenshot portal ended the request with code" << code;
      return finish(SnapshotError::screenshotBackendFailed());
    }
    const auto results = arguments[1].value<QDBusArgument>();
    if (results.currentSignature() != QLatin1String("a{sv}"))
      return malformed("results of type " + results.currentSignature());
    const QVariant uri = qdbus_cast<QVariantMap>(results).value(QStringLiteral("uri"));
    if (uri.metaType().id() != QMetaType::QString)
      return malformed(QStringLiteral("no uri"));
    const QUrl url(uri.toString(), QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile())
      return malformed("uri " + uri.toString());
    // KDE's backend names a picture saved under a relative Pictures folder
    // file:relpics/…, which toLocalFile() would read from our working folder;
    // it would read a host's name as a folder of the root.
    if (!url.host().isEmpty() || !url.path().startsWith(u'/')) {
      qCWarning(lcPortal) << "the screenshot portal named no full local path:" << uri.toString();
      return finish(SnapshotError::incompletePicturePath(setAside_));
    }

    finished_ = true;
    // The file is taken away even when nobody waits for it any more.
    QThreadPool::globalInstance()->start(
        [path = url.toLocalFile(), requested = requested_, screens = screens_, request = request_, relay = relay_,
         outcome = outcome_] {
          std::vector<DisplayStill> stills;
          std::exception_ptr error;
          const RegularFile::Opened opened = RegularFile::open(path, RegularFile::Links::follow);
          const OwnedDescriptor file(opened.fd);
          if (!request.isCancelled()) {
            try {
              if (!opened.ok()) {
                qCWarning(lcPortal) << "the screenshot is no regular file to read:" << path;
                throw SnapshotError::failed();
              }
              stills = stillsFromFile(file.get(), screens);
            } catch (...) {
              error = std::current_exception();
            }
          }
          if (file.isOpen())
            PortalScreenshotFile::removeIfMadeFor(path, file.get(), requested);
          QMetaObject::invokeMethod(
              relay, [outcome, stills = std::move(stills), error]() mutable { outcome(std::move(stills), error); },
              Qt::QueuedConnection);
        });
  }

private:
  void listen(const QString &path) {
    if (!path_.isEmpty())
      bus_.disconnect(portalService, path_, requestInterface, QStringLiteral("Response"), this,
                      SLOT(response(QDBusMessage)));
    path_ = path;
    bus_.connect(portalService, path_, requestInterface, QStringLiteral("Response"), this,
                 SLOT(response(QDBusMessage)));
  }

  // KDE's backend answers 1 also when it could not save the picture into
  // the Pictures folder; a folder that cannot take it is the likely cause,
  // as is one it names by no full path (then not the one we made instead).
  SnapshotError declined() const {
    if (!setAside_.value.isEmpty())
      return SnapshotError::picturesFolderNotFullPath(setAside_);
    if (!QFileInfo(pictures_).isDir())
      return SnapshotError::screenshotDeclined();
    qint64 bytes = 0;
    for (const auto &screen : screens_) {
      const QRect pixels = nativeRect(screen);
      bytes += qint64(pixels.width()) * pixels.height() * 4;
    }
    const UserFolders::Room room = UserFolders::room(pictures_, bytes);
    return room.kind == UserFolders::Room::enough ? SnapshotError::screenshotDeclined()
                                                  : SnapshotError::picturesFolderCannotTake(pictures_, room);
  }

  void malformed(const QString &what) {
    qCWarning(lcPortal) << "malformed answer from the screenshot portal:" << what;
    finish(SnapshotError::failed());
  }

  void finish(const SnapshotError &error) {
    if (finished_)
      return;
    finished_ = true;
    outcome_({}, std::make_exception_ptr(error));
  }

  QDBusConnection bus_ = QDBusConnection::sessionBus();
  std::vector<SnapshotProvider::Screen> screens_;
  SnapshotRequest request_;
  QObject *relay_;
  Outcome outcome_;
  QString path_;
  const QString pictures_ = UserFolders::pictures();
  const UserFolders::Setting setAside_ = UserFolders::picturesSetAside();
  QString picturesError_;
  timespec requested_{};
  bool finished_ = false;
};

} // namespace

PortalSnapshotProvider::Status PortalSnapshotProvider::status(int timeoutMs) {
  Status status;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected())
    return status;
  QDBusMessage get =
      QDBusMessage::createMethodCall(portalService, QStringLiteral("/org/freedesktop/portal/desktop"),
                                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QStringLiteral("org.freedesktop.portal.Screenshot") << QStringLiteral("version");
  const QDBusMessage reply = bus.call(get, QDBus::Block, timeoutMs);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    status.presence = portalMissing(QDBusError(reply)) ? Status::Presence::absent : withoutScreenshot();
    return status;
  }
  status.presence = Status::Presence::present;
  status.version = reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
  // A "no" the user gave is kept in the permission store; applications
  // outside a sandbox go by the empty id.
  QDBusMessage lookup = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.impl.portal.PermissionStore"),
                                                       QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
                                                       QStringLiteral("org.freedesktop.impl.portal.PermissionStore"),
                                                       QStringLiteral("Lookup"));
  lookup << QStringLiteral("screenshot") << QStringLiteral("screenshot");
  const QDBusMessage permissions = bus.call(lookup, QDBus::Block, timeoutMs);
  if (permissions.type() == QDBusMessage::ReplyMessage && !permissions.arguments().isEmpty()) {
    const auto table = qdbus_cast<QMap<QString, QStringList>>(permissions.arguments().constFirst());
    status.declined = table.value(QString()).value(0) == QLatin1String("no");
  }
  return status;
}

SnapshotError PortalSnapshotProvider::Status::refusal() const {
  switch (presence) {
  case Presence::absent: return SnapshotError::noPortal();
  case Presence::withoutScreenshot: return SnapshotError::noScreenshotBackend();
  case Presence::withoutAccess: return SnapshotError::noAccessBackend();
  case Presence::present: break;
  }
  return SnapshotError::screenshotDeclined();
}

SnapshotRequest PortalSnapshotProvider::takeDisplays(QObject *receiver, Completion done) {
  SnapshotRequest request;
  std::vector<Screen> screens = currentScreens();
  if (screens.empty()) {
    deliver(receiver, request, std::move(done), {}, std::make_exception_ptr(SnapshotError::noDisplay()));
    return request;
  }
  // The watch also covers the time a permission dialog may be open.
  Watch watch = watchScreens(receiver, request, std::move(done));
  (new PortalRequest(std::move(screens), request, watch.relay, std::move(watch.finish)))->start();
  return request;
}

namespace {

// Each screen's output, when every screen has one; the compositor's layout
// then holds, not Qt's.
std::optional<std::vector<WaylandOutput>> outputsOf(const std::vector<SnapshotProvider::Screen> &screens,
                                                    const std::vector<WaylandOutput> &outputs) {
  std::vector<QRectF> frames;
  for (const auto &screen : screens)
    frames.push_back(screen.frame);
  const std::vector<qsizetype> paired = WaylandOutputs::pair(frames, outputs);
  std::vector<WaylandOutput> matched;
  for (size_t i = 0; i < screens.size(); ++i) {
    if (paired[i] < 0) {
      QStringList offered;
      for (const auto &output : outputs)
        offered << QStringLiteral("%1 %2,%3 %4x%5")
                       .arg(output.name)
                       .arg(output.logical.x())
                       .arg(output.logical.y())
                       .arg(output.logical.width())
                       .arg(output.logical.height());
      qCDebug(lcPortal) << "screen" << screens[i].name << screens[i].frame
                        << "has no Wayland output, so every display is cut at Qt's scale; outputs offered:" << offered;
      return std::nullopt;
    }
    matched.push_back(outputs[size_t(paired[i])]);
  }
  return matched;
}

// The picture's scale against a layout's bounding box, the same on both axes
// up to the compositor's rounding of a side.
std::pair<double, double> pictureScale(const QImage &desktop, const QRect &bounds) {
  const double sx = double(desktop.width()) / bounds.width();
  const double sy = double(desktop.height()) / bounds.height();
  if (std::abs(bounds.height() * sx - desktop.height()) > std::max(1.0, sx))
    throw SnapshotError::displayChanged();
  return {sx, sy};
}

QRect scaledPart(const QRect &rect, double sx, double sy) {
  const auto x0 = int(std::lround(rect.x() * sx));
  const auto y0 = int(std::lround(rect.y() * sy));
  const auto x1 = int(std::lround((rect.x() + rect.width()) * sx));
  const auto y1 = int(std::lround((rect.y() + rect.height()) * sy));
  return QRect(x0, y0, x1 - x0, y1 - y0);
}

// The picture's part of an output it may not hold at the output's own scale.
// A part a pixel off the output's size on an axis is a half-pixel position
// rounded (KWin draws an output at 1707 x 1.5 from column 2560): the pixels
// are there one to one, from the position rounded down. Only a part of
// another size is resampled.
QImage pictureOf(const QImage &picture, const QRect &part, QPointF position, QSize pixels) {
  if (part.size() == pixels)
    return picture.copy(part);
  const QSize off = part.size() - pixels;
  if (std::abs(off.width()) > 1 || std::abs(off.height()) > 1 || pixels.width() > picture.width() ||
      pixels.height() > picture.height())
    return picture.copy(part).scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const int x = std::clamp(int(std::floor(position.x())), 0, picture.width() - pixels.width());
  const int y = std::clamp(int(std::floor(position.y())), 0, picture.height() - pixels.height());
  return picture.copy(QRect(QPoint(x, y), pixels));
}

// A screencopy frame carries whatever the compositor left in the byte
// XRGB8888 does not use (0 for XWayland's pixels), which RGB32 takes as
// opaque and every premultiplied use as the alpha. Setting it keeps the
// colours, where converting from a premultiplied format would not.
QImage opaqueFrame(QImage frame) {
  if (frame.format() != QImage::Format_RGB32 && frame.format() != QImage::Format_ARGB32)
    frame = frame.convertToFormat(QImage::Format_RGB32);
  frame.reinterpretAsFormat(QImage::Format_RGB32);
  for (int y = 0; y < frame.height(); ++y) {
    auto *line = reinterpret_cast<QRgb *>(frame.scanLine(y));
    for (int x = 0; x < frame.width(); ++x)
      line[x] |= 0xff000000u;
  }
  return frame;
}

DisplayStill still(const SnapshotProvider::Screen &screen, const QRectF &frame, qreal scale, QImage image,
                   qreal outputScale = 0) {
  if (image.isNull())
    throw SnapshotError::failed();
  image.setDevicePixelRatio(scale);
  image.setColorSpace(QColorSpace::SRgb);
  return {screen.displayID, screen.name, frame, scale, std::move(image), outputScale};
}

} // namespace

std::vector<DisplayStill> PortalSnapshotProvider::cutDesktop(const QImage &desktop, const std::vector<Screen> &screens,
                                                             const std::vector<WaylandOutput> &outputs,
                                                             const OwnPixels &ownPixels) {
  if (screens.empty())
    throw SnapshotError::noDisplay();
  if (desktop.isNull())
    throw SnapshotError::failed();
  const QImage opaque = desktop.convertToFormat(QImage::Format_RGB32);
  std::vector<DisplayStill> stills;

  if (const auto matched = outputsOf(screens, outputs)) {
    QRect bounds;
    for (const auto &output : outputs)
      bounds |= output.logical;
    const auto [sx, sy] = pictureScale(opaque, bounds);
    for (size_t i = 0; i < screens.size(); ++i) {
      const WaylandOutput &output = (*matched)[i];
      const QRect local = output.logical.translated(-bounds.topLeft());
      const QRect part = scaledPart(local, sx, sy);
      if (!opaque.rect().contains(part))
        throw SnapshotError::displayChanged();
      // Where the output's logical size is not whole, the picture scaled it by
      // one axis's ratio and resampled the other axis's rows.
      const bool axesAgree = qint64(output.pixels.width()) * output.logical.height() ==
                             qint64(output.pixels.height()) * output.logical.width();
      QImage image;
      if (part.size() == output.pixels && axesAgree) {
        image = opaque.copy(part);
      } else {
        // The picture holds this output at another output's scale, or its
        // axes apart: only the compositor still has its own pixels.
        if (ownPixels)
          image = opaqueFrame(ownPixels(output));
        if (image.size() != output.pixels)
          image = pictureOf(opaque, part, QPointF(local.x() * sx, local.y() * sy), output.pixels);
      }
      // The output's frame, not the screen's a few pixels smaller: a
      // selection maps at the output's own scale and reaches its last column.
      const qreal scale = output.scale();
      stills.push_back(still(screens[i], QRectF(output.logical), scale, std::move(image), scale));
    }
    return stills;
  }

  const QRect bounds = nativeBounds(screens);
  const auto [sx, sy] = pictureScale(opaque, bounds);
  for (const Screen &screen : screens) {
    const QRect native = nativeRect(screen).translated(-bounds.topLeft());
    const QRect part = scaledPart(native, sx, sy) & opaque.rect();
    if (part.isEmpty())
      throw SnapshotError::displayChanged();
    QImage image = opaque.copy(part);
    if (image.size() != native.size())
      image = image.scaled(native.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    stills.push_back(still(screen, screen.frame, screen.scaleFactor, std::move(image)));
  }
  return stills;
}

} // namespace crel

#include "PortalSnapshotProvider.moc"
