// A file manager of another process: it owns org.freedesktop.FileManager1 on
// the session bus and, asked to show items, brings a window of its own to
// the front under a title of its own, as the desktop's file manager would.
// Prints "ready" once it owns the name; runs until killed.
#include <QApplication>
#include <QDBusConnection>
#include <QStringList>
#include <QWidget>

#include <cstdio>

namespace {

class FileManager : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public Q_SLOTS:
  void ShowItems(const QStringList &uris, const QString &) {
    window_.setWindowTitle(QStringLiteral("Files"));
    window_.resize(420, 280);
    window_.show();
    window_.raise();
    window_.activateWindow();
    std::printf("showing %s\n", qPrintable(uris.join(QLatin1Char(' '))));
    std::fflush(stdout);
  }

private:
  QWidget window_;
};

} // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  FileManager manager;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager, QDBusConnection::ExportAllSlots) ||
      !bus.registerService(QStringLiteral("org.freedesktop.FileManager1"))) {
    std::fprintf(stderr, "cannot own org.freedesktop.FileManager1 on the session bus\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  return app.exec();
}

#include "ForeignFileManager.moc"
