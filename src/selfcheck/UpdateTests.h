#pragma once

#include <QDir>
#include <QImage>

namespace crel::UpdateTests {

// Updating without losing work: the session file that carries open documents
// across an update, the updater settings the bundle declares, version order,
// and the quiet-install rule of the updater front end. Never contacts a feed:
// the front end runs on a backend that refuses to be built, and every time is
// passed in.
void run(const QImage &image, const QDir &root);

} // namespace crel::UpdateTests
