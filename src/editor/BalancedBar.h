#pragma once

#include "ProposalSized.h"

#include <QList>
#include <QRectF>
#include <QSizeF>

#include <optional>

namespace crel {

// One row of floating bars: leading, centre and trailing groups, the centre
// one kept in the middle of the row whenever the side groups leave room.
// Pure functions of the children's answers to size proposals.
namespace BalancedBar {

// The spacing both editor rows use.
constexpr double editorSpacing = 10;

// One size per child. With three children the centre one is offered what
// the leading group's ideal width and the trailing group's narrowest width
// leave, and the trailing group then what the other two leave; any other
// number of children get their ideal sizes.
QList<QSizeF> plan(std::optional<double> width, std::optional<double> height,
                   const QList<const ProposalSized *> &children, double spacing);

// Each child's rectangle in `row`, vertically centred on it.
QList<QRectF> place(const QRectF &row, const QList<const ProposalSized *> &children, double spacing);

} // namespace BalancedBar

} // namespace crel
