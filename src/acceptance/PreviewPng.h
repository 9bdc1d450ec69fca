#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace crel::PreviewPng {

// `image` as PNG bytes; throws NativeTests::Failure with `failure` when it
// cannot be encoded.
QByteArray encode(const QImage &image, const QString &failure);

} // namespace crel::PreviewPng
