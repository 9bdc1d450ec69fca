// A stand-in for the desktop's Screenshot portal on a private session bus.
// It owns org.freedesktop.portal.Desktop and answers every Screenshot call
// the way the test chose through org.crel.test.PortalStub.SetAnswer:
//
//   ok          a coded picture of the test bed's desktop at the chosen scale
//   ok-16bit    the same in 16 bits a channel
//   ok-slash    the first, named file:/… rather than file:///…
//   cancel      the user declined (code 1)
//   ended       the request ended otherwise (code 2)
//   no-uri      success without a uri
//   remote-uri  success with a uri that is not a local file
//   relative    success with file:relpics/x.png, as KDE's names a picture
//               saved into a Pictures folder set by a relative path
//   host-uri    success with a file uri on another host
//   not-image   success with a file that holds no picture
//   wrong-size  success with a picture of some other desktop
//   wrong-types a Response signal of the wrong signature
//   error       an error reply to the call itself
//
// Files go to the folder given with the answer, named like a desktop would.
// Each call notes whether the folder given with Watch existed then.

#include "CodedDesktop.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

struct Answer {
  QString mode = QStringLiteral("ok");
  int scale = 1;
  QString folder;
  int delayMs = 0;
};

class Control final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.crel.test.PortalStub")

public:
  Answer answer;
  int requests = 0;
  QVariantMap lastOptions;
  QString watched;
  bool watchedExisted = false;

public Q_SLOTS:
  void SetAnswer(const QString &mode, int scale, const QString &folder, int delayMs) {
    answer = {mode, scale, folder, delayMs};
  }
  int Requests() const { return requests; }
  QVariantMap LastOptions() const { return lastOptions; }
  void Watch(const QString &folder) { watched = folder; }
  bool WatchedExisted() const { return watchedExisted; }
};

class ScreenshotPortal final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")

public:
  explicit ScreenshotPortal(Control &control) : control_(control) {}

public Q_SLOTS:
  QDBusObjectPath Screenshot(const QString &, const QVariantMap &options, const QDBusMessage &message) {
    ++control_.requests;
    control_.lastOptions = options;
    control_.watchedExisted = !control_.watched.isEmpty() && QFileInfo(control_.watched).isDir();
    const Answer answer = control_.answer;
    QDBusConnection bus = QDBusConnection::sessionBus();
    message.setDelayedReply(true);
    // As the portal answers without a backend, and the bus when nobody owns the name.
    static const QMap<QString, QString> errors{{"error", "org.freedesktop.portal.Error.Failed"},
                                               {"no-backend", "org.freedesktop.DBus.Error.UnknownMethod"},
                                               {"no-portal", "org.freedesktop.DBus.Error.ServiceUnknown"}};
    if (errors.contains(answer.mode)) {
      bus.send(message.createErrorReply(errors[answer.mode], "the stub fails"));
      return {};
    }
    QString sender = message.service().mid(1).replace('.', '_');
    const QString handle = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                               .arg(sender, options.value("handle_token").toString());
    bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(handle))));
    QTimer::singleShot(answer.delayMs, this, [this, answer, caller = message.service(), handle] {
      QDBusMessage response = QDBusMessage::createTargetedSignal(
          caller, handle, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
      respond(response, answer);
      QDBusConnection::sessionBus().send(response);
    });
    return {};
  }

private:
  void respond(QDBusMessage &response, const Answer &answer) {
    if (answer.mode == "wrong-types") {
      response << QStringLiteral("0") << QStringLiteral("uri");
      return;
    }
    const uint code = answer.mode == "cancel" ? 1 : answer.mode == "ended" ? 2 : 0;
    QVariantMap results;
    const QString file = QStringLiteral("%1/Screenshot from test %2.png").arg(answer.folder).arg(++files_);
    if (answer.mode == "ok" || answer.mode == "ok-slash")
      crel::test::coded::desktop(answer.scale).save(file, "PNG", 80);
    else if (answer.mode == "ok-16bit")
      crel::test::coded::desktop(answer.scale).convertToFormat(QImage::Format_RGBX64).save(file, "PNG", 80);
    else if (answer.mode == "wrong-size")
      QImage(640, 640, QImage::Format_RGB32).save(file, "PNG");
    else if (answer.mode == "not-image") {
      QFile junk(file);
      if (junk.open(QIODevice::WriteOnly))
        junk.write("no picture here");
    }
    if (answer.mode == "ok-slash")
      results.insert("uri", QString("file:" + QUrl::fromLocalFile(file).path(QUrl::FullyEncoded)));
    else if (answer.mode.startsWith("ok") || answer.mode == "wrong-size" || answer.mode == "not-image")
      results.insert("uri", QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded));
    else if (answer.mode == "remote-uri")
      results.insert("uri", QStringLiteral("http://127.0.0.1/shot.png"));
    else if (answer.mode == "relative")
      results.insert("uri", QStringLiteral("file:relpics/x.png"));
    else if (answer.mode == "host-uri")
      results.insert("uri", QStringLiteral("file://host/x.png"));
    response << code << results;
  }

  Control &control_;
  int files_ = 0;
};

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  Control control;
  ScreenshotPortal portal(control);
  // The name comes last: whoever sees it finds both objects in place.
  if (!bus.registerObject("/org/freedesktop/portal/desktop", &portal, QDBusConnection::ExportAllSlots) ||
      !bus.registerObject("/org/crel/test/PortalStub", &control, QDBusConnection::ExportAllSlots) ||
      !bus.registerService("org.freedesktop.portal.Desktop")) {
    std::fprintf(stderr, "portal stub: %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  return app.exec();
}

#include "PortalStub.moc"
