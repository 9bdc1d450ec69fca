#include "BarGroup.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace crel {

BarGroup::BarGroup(const QString &identifier, const QString &accessibleName, QList<double> candidateWidths,
                   QWidget *parent)
    : QWidget(parent), candidateWidths_(std::move(candidateWidths)) {
  Q_ASSERT(!candidateWidths_.isEmpty());
  setObjectName(identifier);
  setAccessibleName(accessibleName);
  setAttribute(Qt::WA_TranslucentBackground);
  setCursor(Qt::ArrowCursor);
  setFocusPolicy(Qt::NoFocus);
}

QSizeF BarGroup::sizeFor(std::optional<double> width, std::optional<double>) const {
  for (double candidate : candidateWidths_)
    if (!width || candidate <= *width)
      return {candidate, height};
  return {candidateWidths_.last(), height};
}

QSize BarGroup::sizeHint() const { return sizeFor(std::nullopt, std::nullopt).toSize(); }

void BarGroup::refresh(const CrelDocument &) {}

void BarGroup::paintEvent(QPaintEvent *) {
  // A plain light capsule until the chrome kit's surface painter takes over.
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF pane = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const double radius = pane.height() / 2;
  painter.setPen(QPen(QColor(0, 0, 0, 28), 1));
  painter.setBrush(QColor(255, 255, 255, 235));
  painter.drawRoundedRect(pane, radius, radius);
}

// Presses on a bar never reach the canvas beneath.
void BarGroup::mousePressEvent(QMouseEvent *event) { event->accept(); }

} // namespace crel
