#pragma once

#include "ProposalSized.h"

#include <QList>
#include <QWidget>

namespace crel {

class CrelDocument;

// One floating group of the editor's bars on a capsule pane. Its content
// comes with the bars themselves; until then a group stands in at the size
// it will take: one width, or several candidates of which the first that fits
// a proposed width is shown (the last when none fits, never compressed).
class BarGroup : public QWidget, public ProposalSized {
  Q_OBJECT
public:
  // 32-point controls with 4 points of padding.
  static constexpr double height = 40;

  // `candidateWidths` widest first; at least one.
  BarGroup(const QString &identifier, const QString &accessibleName, QList<double> candidateWidths,
           QWidget *parent = nullptr);

  QSizeF sizeFor(std::optional<double> width, std::optional<double> height) const override;
  QSize sizeHint() const override;

  // Brings the group's controls up to date with the document.
  virtual void refresh(const CrelDocument &document);

protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;

private:
  QList<double> candidateWidths_;
};

} // namespace crel
