#pragma once

#include <QDir>
#include <QImage>

namespace crel::NativeTests::EditorRoutingTests {

// How a never-shown editor window divides clicks between its six floating
// bars and the canvas beneath them.
void run(const QImage &image, const QDir &root);

} // namespace crel::NativeTests::EditorRoutingTests
