#include "app/SessionRestore.h"
#include "app/UpdateSessionStore.h"
#include "editor/EditorController.h"
#include "platform/base/PoolThreads.h"
#include "platform/files/SettingsStore.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

// A launch's restore in a process whose Qt pool has served no thread yet:
// SESSION DISPLAY SETTINGS ROOM. With ROOM bytes of address space left, the
// pool's start and the session bus's thread come first, as in the
// application; then no thread of the default stack size can start. Prints
// "RESTORED <file>" for each crel and "SAID <sentence>" for each alert.
int main(int argc, char **argv) {
  QApplication app(argc, argv);
  if (argc != 5)
    return 2;
  const qint64 room = QByteArray(argv[4]).toLongLong();
  QFile statm(QStringLiteral("/proc/self/statm"));
  if (!statm.open(QIODevice::ReadOnly))
    return 2;
  const rlim_t used = rlim_t(statm.readAll().split(' ').value(0).toLongLong()) * ::getpagesize();
  const rlimit limit{used + rlim_t(room), used + rlim_t(room)};
  ::setrlimit(RLIMIT_AS, &limit);
  if (!crel::PoolThreads::start())
    return 2;
  QDBusConnection::sessionBus();
  pthread_attr_t huge;
  ::pthread_attr_init(&huge);
  ::pthread_attr_setstacksize(&huge, size_t(room) * 2);
  ::pthread_setattr_default_np(&huge);

  crel::SettingsStore settings(QString::fromLocal8Bit(argv[3]));
  crel::UpdateSessionStore session(QString::fromLocal8Bit(argv[1]), &settings, {QString::fromLocal8Bit(argv[2]), {}});
  std::vector<std::unique_ptr<crel::EditorController>> reopened;
  crel::SessionRestore::restore(session,
                                {[&](std::unique_ptr<crel::EditorController> e) { reopened.push_back(std::move(e)); },
                                 [](const QString &said) { std::printf("SAID %s\n", qPrintable(said)); }});
  for (const auto &editor : reopened)
    std::printf("RESTORED %s\n", qPrintable(QFileInfo(editor->document().savedURL().value_or(QString())).fileName()));
  std::fflush(stdout);
  return 0;
}
