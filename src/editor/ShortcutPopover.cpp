#include "ShortcutPopover.h"

#include "chrome/ChromeColors.h"
#include "chrome/ChromeScrollBar.h"
#include "chrome/LightPalette.h"
#include "document/MarkTool.h"
#include "platform/base/Translate.h"
#include "platform/display/X11Access.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScrollArea>

#include <algorithm>

namespace crel {

namespace {

constexpr int arrowHeight = 8, inset = 4, edge = 8, radius = 10;
const QColor bubbleColor(252, 252, 252);

QRectF bubbleRect(const QRect &widget) { return QRectF(widget).adjusted(0.5, 0.5, -0.5, -0.5 - arrowHeight); }

// The rounded bubble with its arrow at `arrowX` along the bottom edge.
QPainterPath outline(const QRect &widget, double arrowX) {
  const QRectF bubble = bubbleRect(widget);
  QPainterPath shape;
  shape.addRoundedRect(bubble, radius, radius);
  QPainterPath arrow;
  arrow.moveTo(arrowX - arrowHeight, bubble.bottom() - 0.5);
  arrow.lineTo(arrowX, bubble.bottom() + arrowHeight);
  arrow.lineTo(arrowX + arrowHeight, bubble.bottom() - 0.5);
  arrow.closeSubpath();
  return shape.united(arrow);
}

} // namespace

ShortcutPopover::ShortcutPopover(ShortcutGuideView::Source source, QWidget *parent)
    : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("shortcut-popover"));
  setAttribute(Qt::WA_NoMouseReplay);
  setAttribute(Qt::WA_TranslucentBackground);
  setAccessibleName(crel::tr("Keyboard shortcuts"));
  if (!source)
    source = [] { return ShortcutGuideView::Content{{}, toolRows(), {}}; };
  scroll_ = new QScrollArea(this);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setWidgetResizable(true);
  LightPalette::apply(scroll_);
  QPalette palette = scroll_->palette();
  palette.setColor(QPalette::Window, bubbleColor);
  scroll_->setPalette(palette);
  ChromeScrollBar::apply(*scroll_);
  // The bubble is painted beneath: the scroll area shows it through.
  scroll_->setAutoFillBackground(false);
  scroll_->viewport()->setAutoFillBackground(false);
  guide_ = new ShortcutGuideView(std::move(source));
  guide_->setAutoFillBackground(false);
  scroll_->setWidget(guide_);
  resize(preferredWidth, preferredHeight);
}

std::vector<ShortcutGuideView::Row> ShortcutPopover::toolRows() {
  std::vector<ShortcutGuideView::Row> rows;
  for (MarkTool tool : allCases<MarkTool>())
    rows.push_back({label(tool), shortcut(tool).toUpper(), symbol(tool)});
  return rows;
}

void ShortcutPopover::popUp(QWidget *anchor) {
  guide_->refresh();
  const QPoint tip = anchor->mapToGlobal(QPoint(anchor->width() / 2, 0));
  // The editor window bounds the popover; a window too small for any guide
  // still gets one that can be read.
  const QWidget *window = anchor->window();
  const QRect area(window->mapToGlobal(QPoint(0, 0)), window->size());
  const int width = std::max(200, std::min(preferredWidth, area.width() - 2 * edge));
  const int contentHeight = guide_->heightForWidth(width - 2 * inset - ChromeScrollBar::width);
  const int wanted = (contentHeight > 0 ? contentHeight : preferredHeight) + 2 * inset + arrowHeight;
  const int height = std::max(150, std::min({preferredHeight, wanted, tip.y() - 2 - area.top() - edge}));
  QRect frame(QPoint(tip.x() - width / 2, tip.y() - height - 2), QSize(width, height));
  frame.moveLeft(
      std::clamp(frame.left(), area.left() + edge, std::max(area.left() + edge, area.right() + 1 - edge - width)));
  setGeometry(frame);
  arrowX_ =
      std::clamp(double(tip.x() - frame.left()), radius + arrowHeight + 0.0, double(width - radius - arrowHeight));
  scroll_->setGeometry(QRect(QPoint(0, 0), size()).adjusted(inset, inset, -inset, -inset - arrowHeight));
  // Without a compositing manager the clear corners would show black, so the
  // window is cut to the bubble itself.
  if (QGuiApplication::platformName() == QLatin1String("xcb") && !X11Access::compositingManagerRunning())
    setMask(QRegion(outline(rect(), arrowX_).toFillPolygon().toPolygon()));
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
  const QPainterPath shape = outline(rect(), arrowX_ > 0 ? arrowX_ : width() / 2.0);
  painter.fillPath(shape, bubbleColor);
  painter.strokePath(shape, QPen(ChromeColors::black(0.14), 1));
}

} // namespace crel
