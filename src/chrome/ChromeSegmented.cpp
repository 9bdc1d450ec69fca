#include "ChromeSegmented.h"

#include "ChromeColors.h"
#include "ChromeShape.h"
#include "FocusRing.h"
#include "ShadowCache.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace crel {

// One segment: the label over the parent's thumb, dimming while pressed,
// hit inside its rounded rectangle only.
class ChromeSegmented::Segment : public PlainPressButton, public FocusRing::Owner {
public:
  Segment(ChromeSegmented &owner, int index) : PlainPressButton(&owner), owner_(owner), index_(index) {
    setCheckable(true);
    connect(this, &QAbstractButton::clicked, &owner, [this] {
      setChecked(owner_.selection_ == index_); // the control shows the caller's selection only
      Q_EMIT owner_.selected(index_);
    });
  }
  FocusRing::Shape focusRingShape() const override { return {rect(), 7.0}; }

protected:
  void paintContent(QPainter &painter) override {
    const bool isSelected = owner_.selection_ == index_;
    // The thumb is white in either appearance, so the label on it stays dark.
    const QColor color = isSelected ? ChromeColors::label() : ChromeColors::secondaryLabel(owner_.palette());
    if (owner_.painter_)
      owner_.painter_(painter, QRectF(rect()), index_, isSelected, color);
  }
  bool hitButton(const QPoint &pos) const override {
    return ChromeShape::contains(rect(), 7.0, QPointF(pos) + QPointF(0.5, 0.5));
  }

private:
  ChromeSegmented &owner_;
  int index_;
};

ChromeSegmented::ChromeSegmented(QWidget *parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  connect(&slide_, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
}

QList<ChromeSegmented::Option> ChromeSegmented::textOptions(const QStringList &texts, const QStringList &helps,
                                                            const QFont &font) {
  QList<Option> options;
  const QFontMetricsF metrics(font);
  for (qsizetype i = 0; i < texts.size(); ++i)
    options.append({i < helps.size() ? helps[i] : texts[i], metrics.horizontalAdvance(texts[i]), texts[i]});
  return options;
}

ChromeSegmented::LabelPainter ChromeSegmented::textPainter(const QStringList &texts, const QFont &font) {
  return [texts, font](QPainter &painter, const QRectF &rect, int index, bool, const QColor &color) {
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, texts.value(index));
  };
}

void ChromeSegmented::setOptions(const QList<Option> &options, LabelPainter painter) {
  options_ = options;
  painter_ = std::move(painter);
  if (selection_ && *selection_ >= count())
    selection_.reset();
  rebuild();
}

void ChromeSegmented::setSelection(std::optional<int> index) {
  if (index && (*index < 0 || *index >= count()))
    index.reset();
  if (selection_ == index)
    return;
  slideFrom_ = selection_ ? thumbRect() : std::nullopt;
  selection_ = index;
  for (int i = 0; i < segments_.size(); ++i) {
    segments_[i]->setChecked(selection_ == i);
    segments_[i]->setProperty("selected", selection_ == i);
    segments_[i]->update();
  }
  if (slideFrom_) {
    slide_.jumpTo(0);
    slide_.animateTo(1, 0.28, QEasingCurve::OutCubic);
  } else {
    slide_.jumpTo(1);
  }
  update();
}

void ChromeSegmented::setSegmentWidth(std::optional<double> width) {
  fixedWidth_ = width;
  layoutSegments();
}

void ChromeSegmented::setIdentifier(const std::optional<QString> &identifier) {
  setObjectName(identifier.value_or(QString()));
}

double ChromeSegmented::segmentWidth(int index) const {
  return fixedWidth_ ? *fixedWidth_ : options_.value(index).contentWidth + 20;
}

QRectF ChromeSegmented::segmentRect(int index) const {
  double x = inset;
  for (int i = 0; i < index; ++i)
    x += segmentWidth(i) + spacing;
  return {x, inset, segmentWidth(index), segmentHeight};
}

std::optional<QRectF> ChromeSegmented::thumbRect() const {
  if (!selection_)
    return std::nullopt;
  const QRectF to = segmentRect(*selection_);
  if (!slideFrom_ || slide_.value() >= 1)
    return to;
  const double t = slide_.value();
  auto mix = [t](double a, double b) { return a + (b - a) * t; };
  return QRectF(mix(slideFrom_->x(), to.x()), to.y(), mix(slideFrom_->width(), to.width()), to.height());
}

QAbstractButton *ChromeSegmented::segment(int index) const { return segments_.value(index); }

QSize ChromeSegmented::sizeHint() const {
  double width = 2 * inset;
  for (int i = 0; i < count(); ++i)
    width += segmentWidth(i) + (i > 0 ? spacing : 0);
  return {int(std::ceil(width)), int(segmentHeight + 2 * inset)};
}

void ChromeSegmented::rebuild() {
  qDeleteAll(segments_);
  segments_.clear();
  for (int i = 0; i < count(); ++i) {
    auto *segment = new Segment(*this, i);
    segment->setToolTip(options_[i].help);
    segment->setAccessibleName(options_[i].name.isEmpty() ? options_[i].help : options_[i].name);
    if (!options_[i].name.isEmpty())
      segment->setAccessibleDescription(options_[i].help);
    segment->setChecked(selection_ == i);
    segment->setProperty("selected", selection_ == i);
    segment->show();
    segments_.append(segment);
  }
  layoutSegments();
}

void ChromeSegmented::layoutSegments() {
  for (int i = 0; i < segments_.size(); ++i)
    segments_[i]->setGeometry(segmentRect(i).toAlignedRect());
  updateGeometry();
  update();
}

void ChromeSegmented::resizeEvent(QResizeEvent *) { layoutSegments(); }

void ChromeSegmented::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF track(0, 0, sizeHint().width(), sizeHint().height());
  painter.fillPath(ChromeShape::path(track, 9.0), ChromeColors::black(0.06));
  if (const auto thumb = thumbRect()) {
    ShadowCache::shared().draw(painter, *thumb, 7.0, {ChromeColors::black(0.14), 1.5, {0, 0.5}});
    painter.fillPath(ChromeShape::path(*thumb, 7.0), Qt::white);
    painter.setPen(QPen(ChromeColors::black(0.05), 0.5));
    painter.setBrush(Qt::NoBrush);
    const QRectF border = thumb->adjusted(0.25, 0.25, -0.25, -0.25);
    painter.drawRoundedRect(border, 6.75, 6.75);
  }
}

} // namespace crel
