#pragma once

#include <QDir>
#include <QImage>

namespace crel::NativeTests::WindowPresentationTests {

// How the application treats the user's windows: a capture leaves the
// desktop alone and gives the keyboard back once on cancel; background
// screenshots stay untouched through repeated captures; reopening prefers
// an editor over the settings; the bundle is a normal application; the
// open-screenshots submenu follows the editors honestly. Files go under `root`.
void run(const QImage &image, const QDir &root);

} // namespace crel::NativeTests::WindowPresentationTests
