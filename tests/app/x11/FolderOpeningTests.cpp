// Opening the saved-images folder on the X test bed's own session bus, with
// a stand-in xdg-open first on PATH.

#include "app/DelegateFixture.h"

#include "platform/desktop/FolderOpener.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QSignalSpy>

using namespace crel;
using crel::test::Delegate;

namespace {

// org.freedesktop.FileManager1, recording the folders it is asked to show.
class FolderShowingFileManager : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
  QStringList shown;
public Q_SLOTS:
  void ShowFolders(const QStringList &uris, const QString &) { shown << uris; }
};

// An xdg-open that notes its call and ends with `status`: 3 is the real
// one's answer on a desktop without a handler for folders.
void standInXdgOpen(const QString &bin, int status) {
  QFile script(bin + "/xdg-open");
  ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
  script.write(QString("#!/bin/sh\ntouch '%1/opened'\nexit %2\n").arg(bin).arg(status).toUtf8());
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

TEST_F(Delegate, OnTheSessionBusTheFolderOpensOrTheAlertSaysNothingCould) {
  QDBusConnection session = QDBusConnection::sessionBus();
  if (!session.isConnected())
    GTEST_SKIP() << "no session bus";
  if (session.interface()->isServiceRegistered(QString::fromLatin1(FolderOpener::service)))
    GTEST_SKIP() << "the desktop's own file manager is on this bus";
  openFolder = {}; // the desktop's
  QTemporaryDir bin;
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", bin.path().toUtf8() + ":" + path);
  const struct {
    const char *name;
    bool fileManager;
    int xdgOpen;
    bool alert;
  } rows[] = {
      {"a file manager on the bus", true, 3, false},
      {"xdg-open opens it", false, 0, false},
      {"nothing can", false, 3, true},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    QFile::remove(bin.filePath("opened"));
    standInXdgOpen(bin.path(), row.xdgOpen);
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "file-manager");
    FolderShowingFileManager manager;
    if (row.fileManager) {
      ASSERT_TRUE(bus.registerObject(FolderOpener::objectPath, &manager, QDBusConnection::ExportAllSlots));
      ASSERT_TRUE(bus.registerService(FolderOpener::service));
    }
    AppDelegate &app = make();
    QSignalSpy alerts(&app, &AppDelegate::alertShown);
    app.openSavedImagesFolder();
    const QString folder = pictures.filePath("Crel");
    if (row.fileManager)
      ASSERT_TRUE(
          QTest::qWaitFor([&] { return manager.shown == QStringList{QUrl::fromLocalFile(folder).toString()}; }));
    else
      ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(bin.filePath("opened")); }));
    // A wrong answer would come as soon as the call or xdg-open ended.
    row.alert ? void(QTest::qWaitFor([&] { return !alerts.isEmpty(); })) : QTest::qWait(200);
    EXPECT_EQ(alerts.value(0).value(0).toString(),
              row.alert ? QString("Could not open %1 in the file manager.").arg(folder) : QString());
    delegate.reset();
    bus.unregisterService(FolderOpener::service);
    bus.unregisterObject(FolderOpener::objectPath);
    QDBusConnection::disconnectFromBus("file-manager");
  }
  qputenv("PATH", path);
}

#include "FolderOpeningTests.moc"
