#include "InspectorControls.h"

#include "chrome/ChromeColors.h"
#include "chrome/ChromeFonts.h"
#include "chrome/Motion.h"
#include "chrome/Symbols.h"

#include <QMenu>
#include <QPainter>

#include <cmath>
#include <numbers>

namespace crel {

namespace {

QFont valueFont() { return ChromeFonts::font(12, QFont::DemiBold); }
QFont labelFont() { return ChromeFonts::font(12); }
constexpr double chevronSize = 8, chevronGap = 3, valuePadding = 7;
constexpr double symbolPadding = 4, symbolGap = 4, labelPadding = 4;

} // namespace

InspectorMenuButton::InspectorMenuButton(Perform perform, QWidget *parent)
    : ChromeButton(parent), perform_(std::move(perform)), menu_(new QMenu(this)) {
  setCornerRadius(8);
  connect(this, &QAbstractButton::pressed, this, &InspectorMenuButton::popup);
  setContentPainter([this](QPainter &painter, const QRectF &rect, const QColor &color) {
    if (!symbol_.isEmpty()) {
      Symbols::paint(painter, symbol_, rect, symbolSize_, QFont::Medium, color);
      return;
    }
    const QFontMetricsF metrics(valueFont());
    const double chevron = Symbols::boxSide(chevronSize);
    const double total = metrics.horizontalAdvance(value_) + chevronGap + chevron;
    QRectF text(rect.center().x() - total / 2, rect.top(), metrics.horizontalAdvance(value_), rect.height());
    painter.setFont(valueFont());
    painter.setPen(color);
    painter.drawText(text, Qt::AlignCenter, value_);
    const QRectF box(text.right() + chevronGap, rect.center().y() - chevron / 2, chevron, chevron);
    Symbols::paint(painter, QStringLiteral("chevron.down"), box, chevronSize, QFont::Bold,
                   ChromeColors::secondaryLabel());
  });
}

void InspectorMenuButton::setItems(const QList<InspectorControl::MenuItem> &items) {
  if (items == items_)
    return;
  items_ = items;
  menu_->clear();
  for (const InspectorControl::MenuItem &item : items) {
    switch (item.role) {
    case InspectorControl::MenuItem::Role::heading: menu_->addSection(item.title); break;
    case InspectorControl::MenuItem::Role::separator: menu_->addSeparator(); break;
    case InspectorControl::MenuItem::Role::action:
      menu_->addAction(item.title, this, [this, action = item.action] { perform_(action); });
      break;
    }
  }
}

void InspectorMenuButton::setValueFace(const QString &value) {
  symbol_.clear();
  if (value_ == value)
    return;
  value_ = value;
  updateGeometry();
  update();
}

void InspectorMenuButton::setSymbolFace(const QString &symbol, double size) {
  symbol_ = symbol;
  symbolSize_ = size;
  updateGeometry();
  update();
}

QSize InspectorMenuButton::sizeHint() const {
  if (!symbol_.isEmpty())
    return {30, 30};
  const double content =
      QFontMetricsF(valueFont()).horizontalAdvance(value_) + chevronGap + Symbols::boxSide(chevronSize);
  return {int(std::ceil(content + 2 * valuePadding)), 28};
}

void InspectorMenuButton::popup() {
  if (menu_->isEmpty())
    return;
  // The press that opened the menu must not leave the button down.
  setDown(false);
  menu_->popup(mapToGlobal(QPoint(0, height() + 2)));
}

BusySpinner::BusySpinner(QWidget *parent) : QWidget(parent) {
  turn_.setInterval(80);
  connect(&turn_, &QTimer::timeout, this, [this] {
    phase_ = (phase_ + 1) % 8;
    update();
  });
}

void BusySpinner::showEvent(QShowEvent *) {
  if (Motion::enabled())
    turn_.start();
}

void BusySpinner::hideEvent(QHideEvent *) { turn_.stop(); }

void BusySpinner::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPointF centre = QRectF(rect()).center();
  constexpr double inner = 3.2, outer = 6.5;
  for (int i = 0; i < 8; ++i) {
    // The leading spoke is darkest; the others fade behind it.
    const int age = (phase_ - i + 8) % 8;
    const double angle = i * std::numbers::pi / 4;
    const QPointF dir(std::sin(angle), -std::cos(angle));
    painter.setPen(QPen(ChromeColors::black(0.62 - age * 0.065), 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre + dir * inner, centre + dir * outer);
  }
}

InspectorLabel::InspectorLabel(QWidget *parent) : QWidget(parent) {}

void InspectorLabel::setContent(const QString &symbol, double symbolSize, const QString &text) {
  if (symbol == symbol_ && symbolSize == symbolSize_ && text == text_)
    return;
  symbol_ = symbol;
  symbolSize_ = symbolSize;
  text_ = text;
  setAccessibleName(text);
  updateGeometry();
  update();
}

QSize InspectorLabel::sizeHint() const {
  double width = 2 * labelPadding + QFontMetricsF(labelFont()).horizontalAdvance(text_);
  if (!symbol_.isEmpty())
    width += symbolPadding + Symbols::boxSide(symbolSize_) + (text_.isEmpty() ? 0 : symbolGap - labelPadding);
  return {int(std::ceil(width)), 28};
}

void InspectorLabel::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  double x = 0;
  if (!symbol_.isEmpty()) {
    const double side = Symbols::boxSide(symbolSize_);
    Symbols::paint(painter, symbol_, QRectF(symbolPadding, (height() - side) / 2, side, side), symbolSize_,
                   QFont::Medium, ChromeColors::secondaryLabel());
    x = symbolPadding + side + symbolGap - labelPadding;
  }
  painter.setFont(labelFont());
  painter.setPen(ChromeColors::secondaryLabel());
  painter.drawText(QRectF(x + labelPadding, 0, width() - x - labelPadding, height()),
                   Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text_);
}

} // namespace crel
