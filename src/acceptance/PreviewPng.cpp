#include "PreviewPng.h"

#include "selfcheck/Failure.h"

#include <QBuffer>

namespace crel::PreviewPng {

QByteArray encode(const QImage &image, const QString &failure) {
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
    throw NativeTests::Failure(failure);
  return png;
}

} // namespace crel::PreviewPng
