#pragma once

#include "ProposalSized.h"

#include "chrome/ChromeSurface.h"

#include <QList>

namespace crel {

class CrelDocument;

// One floating group of the editor's bars on a capsule chrome surface. It
// takes one of several candidate widths: the first that fits a proposed
// width (the last when none fits, never compressed). A group with content
// sets its candidates from its controls; a bare group stands in for content
// that is placed in it from outside.
class BarGroup : public ChromeSurface, public ProposalSized {
  Q_OBJECT
public:
  // 32-point controls with 4 points of padding.
  static constexpr double height = 40;
  static constexpr int padding = 4;

  // `candidateWidths` widest first; at least one.
  BarGroup(const QString &identifier, const QString &accessibleName, QList<double> candidateWidths,
           QWidget *parent = nullptr);

  QSizeF sizeFor(std::optional<double> width, std::optional<double> height) const override;
  QSize sizeHint() const override;
  const QList<double> &candidateWidths() const { return candidateWidths_; }

  // Brings the group's controls up to date with the document.
  virtual void refresh(const CrelDocument &document);

protected:
  void setCandidateWidths(QList<double> widths);
  // A row of controls at their ideal sizes, `spacing` apart, inside the
  // padding, centred vertically; hidden ones take no room.
  static double rowWidth(const QList<QWidget *> &items, double spacing);
  void placeRow(const QList<QWidget *> &items, double spacing);
  void mousePressEvent(QMouseEvent *event) override;

private:
  QList<double> candidateWidths_;
};

} // namespace crel
