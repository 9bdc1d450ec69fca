#pragma once

#include <QByteArray>

namespace crel {

// Writes `bytes` to a paste's reader on a thread of its own and closes `fd`.
void servePaste(int fd, const QByteArray &bytes);

} // namespace crel
