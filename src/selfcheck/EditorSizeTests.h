#pragma once

#include <QDir>
#include <QImage>

namespace crel::NativeTests::EditorSizeTests {

// The editor size preference: its default, a choice kept across launches, a
// new editor at the saved size, the context menu and the shared preference
// resizing an open editor, and recovery from an unknown stored value.
void run(const QImage &image, const QDir &root);

} // namespace crel::NativeTests::EditorSizeTests
