#include "BalancedBar.h"

#include <algorithm>

namespace crel::BalancedBar {

QList<QSizeF> plan(std::optional<double> width, std::optional<double> height,
                   const QList<const ProposalSized *> &children, double spacing) {
  QList<QSizeF> sizes;
  if (children.size() != 3) {
    for (const ProposalSized *child : children)
      sizes.append(child->sizeFor(std::nullopt, std::nullopt));
    return sizes;
  }
  const ProposalSized &leading = *children[0], &centre = *children[1], &trailing = *children[2];
  const QSizeF l = leading.sizeFor(std::nullopt, std::nullopt);
  const QSizeF tMin = trailing.sizeFor(0.0, height);
  // An unspecified row width leaves the centre unconstrained too.
  const std::optional<double> centreWidth =
      width ? std::optional(std::max(*width - l.width() - tMin.width() - 2 * spacing, 0.0)) : std::nullopt;
  const QSizeF c = centre.sizeFor(centreWidth, height);
  const std::optional<double> trailingWidth =
      width ? std::optional(std::max(tMin.width(), *width - l.width() - c.width() - 2 * spacing)) : std::nullopt;
  const QSizeF t = trailing.sizeFor(trailingWidth, height);
  return {l, c, t};
}

QList<QRectF> place(const QRectF &row, const QList<const ProposalSized *> &children, double spacing) {
  const QList<QSizeF> sizes = plan(row.width(), row.height(), children, spacing);
  const auto at = [&row](double x, QSizeF size) {
    return QRectF(QPointF(x, row.center().y() - size.height() / 2), size);
  };
  QList<QRectF> rects;
  if (sizes.size() == 3) {
    const double l = sizes[0].width(), c = sizes[1].width(), t = sizes[2].width();
    const double afterLeading = row.left() + (l > 0 ? l + spacing : 0);
    const double beforeTrailing = row.right() - (t > 0 ? t + spacing : 0) - c;
    const double centreX = std::max(afterLeading, std::min(beforeTrailing, row.center().x() - c / 2));
    return {at(row.left(), sizes[0]), at(centreX, sizes[1]), at(row.right() - t, sizes[2])};
  }
  double x = row.left();
  for (const QSizeF &size : sizes) {
    rects.append(at(x, size));
    x += size.width() + spacing;
  }
  return rects;
}

} // namespace crel::BalancedBar
