#include "DescriptorLimit.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <sys/resource.h>

namespace crel::DescriptorLimit {

namespace {

// Written once at start, before any thread or child exists; read in children.
rlimit original{};
bool raised = false;

} // namespace

void raise() {
  rlimit limit{};
  if (raised || ::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
    return;
  const rlimit wanted{limit.rlim_max, limit.rlim_max};
  if (::setrlimit(RLIMIT_NOFILE, &wanted) != 0)
    return;
  original = limit;
  raised = true;
}

void restoreInChild() {
  if (raised)
    ::setrlimit(RLIMIT_NOFILE, &original);
}

quint64 startingSoftLimit() {
  if (raised)
    return original.rlim_cur;
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  return limit.rlim_cur;
}

bool startDetached(const QString &name, const QStringList &arguments) {
  // The wrapper's shell starts whatever happens to the exec, so whether the
  // program can run is asked here.
  QString program;
  if (!name.contains(u'/')) {
    program = QStandardPaths::findExecutable(name);
  } else if (const QFileInfo info(name); info.isFile() && info.isExecutable()) {
    program = info.absoluteFilePath();
  }
  if (program.isEmpty())
    return false;
  if (!raised)
    return QProcess::startDetached(program, arguments);
  // The shell sets the limit and becomes the program.
  return QProcess::startDetached(
      QStringLiteral("/bin/sh"),
      QStringList{QStringLiteral("-c"),
                  QStringLiteral("ulimit -Sn %1 2>/dev/null; exec \"$0\" \"$@\"").arg(quint64(original.rlim_cur)),
                  program} +
          arguments);
}

} // namespace crel::DescriptorLimit
