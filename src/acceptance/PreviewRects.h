#pragma once

#include <QRectF>
#include <QString>

namespace crel::PreviewRects {

// "(x, y, width, height)" , each number in its short form.
QString text(const QRectF &rect);

} // namespace crel::PreviewRects
