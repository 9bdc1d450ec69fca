#include "ShortcutPopover.h"

#include "chrome/ChromeColors.h"
#include "chrome/ChromeFonts.h"
#include "document/MarkTool.h"
#include "platform/Translate.h"
#include "platform/X11Access.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>

#include <algorithm>

namespace crel {

namespace {

constexpr int arrowHeight = 8, margin = 16, lineHeight = 22, columnWidth = 150, titleHeight = 30;
constexpr int rows = 7; // thirteen tools in two columns

QRectF bubbleRect(const QRect &widget) { return QRectF(widget).adjusted(0.5, 0.5, -0.5, -0.5 - arrowHeight); }

// The rounded bubble with its arrow at `arrowX` along the bottom edge.
QPainterPath outline(const QRect &widget, double arrowX) {
  const QRectF bubble = bubbleRect(widget);
  QPainterPath shape;
  shape.addRoundedRect(bubble, 10, 10);
  QPainterPath arrow;
  arrow.moveTo(arrowX - arrowHeight, bubble.bottom() - 0.5);
  arrow.lineTo(arrowX, bubble.bottom() + arrowHeight);
  arrow.lineTo(arrowX + arrowHeight, bubble.bottom() - 0.5);
  arrow.closeSubpath();
  return shape.united(arrow);
}

} // namespace

ShortcutPopover::ShortcutPopover(QWidget *parent) : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("shortcut-popover"));
  setAttribute(Qt::WA_NoMouseReplay);
  setAttribute(Qt::WA_TranslucentBackground);
  setAccessibleName(crel::tr("Keyboard shortcuts"));
  resize(sizeHint());
}

QSize ShortcutPopover::sizeHint() const {
  return {2 * margin + 2 * columnWidth, margin + titleHeight + rows * lineHeight + margin + arrowHeight};
}

void ShortcutPopover::popUp(QWidget *anchor) {
  resize(sizeHint());
  const QPoint tip = anchor->mapToGlobal(QPoint(anchor->width() / 2, 0));
  QRect frame(QPoint(tip.x() - width() / 2, tip.y() - height() - 2), size());
  if (const QScreen *screen = anchor->screen()) {
    const QRect area = screen->availableGeometry();
    frame.moveLeft(std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() + 1 - frame.width())));
  }
  move(frame.topLeft());
  setProperty("arrowX", tip.x() - frame.left());
  // Without a compositing manager the clear corners would show black, so the
  // window is cut to the bubble itself.
  if (QGuiApplication::platformName() == QLatin1String("xcb") && !X11Access::compositingManagerRunning())
    setMask(QRegion(outline(rect(), tip.x() - frame.left()).toFillPolygon().toPolygon()));
  else
    clearMask();
  show();
}

void ShortcutPopover::hideEvent(QHideEvent *event) {
  QFrame::hideEvent(event);
  Q_EMIT dismissed();
}

void ShortcutPopover::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double arrowX = property("arrowX").isValid() ? property("arrowX").toDouble() : width() / 2.0;
  const QPainterPath shape = outline(rect(), arrowX);
  painter.fillPath(shape, QColor(252, 252, 252));
  painter.strokePath(shape, QPen(ChromeColors::black(0.14), 1));

  painter.setPen(ChromeColors::label());
  painter.setFont(ChromeFonts::font(13, QFont::DemiBold));
  painter.drawText(QRectF(margin, margin, width() - 2 * margin, titleHeight - 8), Qt::AlignLeft | Qt::AlignVCenter,
                   crel::tr("Keyboard shortcuts"));
  int i = 0;
  for (MarkTool tool : allCases<MarkTool>()) {
    const QRectF line(margin + (i / rows) * columnWidth, margin + titleHeight + (i % rows) * lineHeight,
                      columnWidth - 12, lineHeight);
    painter.setFont(ChromeFonts::font(12));
    painter.setPen(ChromeColors::label());
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, label(tool));
    painter.setFont(ChromeFonts::font(11.5, QFont::DemiBold));
    painter.setPen(ChromeColors::secondaryLabel());
    painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter, shortcut(tool).toUpper());
    ++i;
  }
}

} // namespace crel
