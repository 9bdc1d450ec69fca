#pragma once

#include "DescriptorSoftLimit.h"

#include <QString>
#include <QStringList>

namespace crel::DescriptorLimit {

// Raises this process's soft limit on open descriptors to its hard limit, so
// that what the instance holds open (connections, editors' files, helpers'
// pipes) never runs it out of descriptors at the usual 1024. Call once, early.
void raise();

// Sets the soft limit that raise() found back, for a child process between
// fork and exec: programs that use select() cannot take descriptors past
// 1024. Async-signal-safe; does nothing when raise() was not called.
void restoreInChild();

// The soft limit this process was started with: what raise() found, else
// the current one. Our own programs are handed it and set it back at their
// start, since a posix_spawn runs no code in the child.
quint64 startingSoftLimit();

// QProcess::startDetached with that limit set back: a detached start runs no
// child modifier. A bare name is looked up on PATH; false, with nothing
// started, when there is no regular file we may run.
bool startDetached(const QString &program, const QStringList &arguments = {});

} // namespace crel::DescriptorLimit
