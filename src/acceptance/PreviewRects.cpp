#include "PreviewRects.h"

namespace crel::PreviewRects {

QString text(const QRectF &rect) {
  const auto n = [](double v) { return QString::number(v); };
  return QStringLiteral("(%1, %2, %3, %4)").arg(n(rect.x()), n(rect.y()), n(rect.width()), n(rect.height()));
}

} // namespace crel::PreviewRects
