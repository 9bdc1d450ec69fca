#include "TextLayout.h"

#include "GlyphOutlines.h"

#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <optional>

namespace crel {

namespace {
std::atomic<long long> made{0};
} // namespace

long long TextLayout::madeCount() { return made.load(std::memory_order_relaxed); }

const QPaintDevice *TextLayout::designDevice() {
  static const QImage device = [] {
    QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // 2835 dots per metre reads back as 72 dpi.
    image.setDotsPerMeterX(2835);
    image.setDotsPerMeterY(2835);
    return image;
  }();
  return &device;
}

TextLayout::TextLayout(const QString &text, const QFont &font, double width) {
  made.fetch_add(1, std::memory_order_relaxed);
  QString laidOut = text;
  // Same length, so positions in the text and in the layout agree.
  laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
  layout_ = std::make_unique<QTextLayout>(laidOut, font, designDevice());

  const bool wraps = std::isfinite(width);
  QTextOption option;
  option.setUseDesignMetrics(true);
  option.setWrapMode(wraps ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
  layout_->setTextOption(option);
  layout_->setCacheEnabled(true);

  // QTextLine::height() rounds each line up to a whole pixel; stacking the
  // exact metrics instead keeps tall texts from drifting with line count.
  double y = 0, widest = 0;
  layout_->beginLayout();
  for (QTextLine line = layout_->createLine(); line.isValid(); line = layout_->createLine()) {
    line.setLeadingIncluded(true);
    line.setLineWidth(wraps ? std::max(width, 0.0) : 1e6);
    line.setPosition({0, y});
    y += line.ascent() + line.descent() + std::max(line.leading(), 0.0);
    widest = std::max(widest, line.naturalTextWidth());
  }
  layout_->endLayout();
  size_ = {widest, y};
}

QSizeF TextLayout::measure(const QString &text, const QFont &font, double width) {
  struct Answer {
    QString text;
    QFont font;
    double width = 0;
    QSizeF size;
  };
  thread_local std::array<std::optional<Answer>, 4> answers;
  thread_local std::size_t oldest = 0;
  for (const std::optional<Answer> &a : answers)
    if (a && a->width == width && a->font == font && a->text == text)
      return a->size;
  const QSizeF size = TextLayout(text, font, width).size();
  answers[oldest] = Answer{text, font, width, size};
  oldest = (oldest + 1) % answers.size();
  return size;
}

TextLayout::~TextLayout() = default;
TextLayout::TextLayout(TextLayout &&) noexcept = default;
TextLayout &TextLayout::operator=(TextLayout &&) noexcept = default;

int TextLayout::lineCount() const { return layout_->lineCount(); }

void TextLayout::draw(QPainter &painter, QPointF origin, const QColor &color, const QRectF &area) const {
  painter.save();
  painter.setPen(color);
  painter.setBrush(Qt::NoBrush);
  const QFont &font = layout_->font();
  // Points are pixels on the 72-dpi design device.
  const double pixelSize = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF();
  if (!GlyphOutlines::drawsAsOutlines(pixelSize, painter.deviceTransform())) {
    layout_->draw(&painter, origin, {}, area);
    painter.restore();
    return;
  }
  // As Qt fills large glyphs: one path per run, antialiased when text is;
  // like it, only the lines whose height reaches `area`.
  if (painter.testRenderHint(QPainter::TextAntialiasing) && !(font.styleStrategy() & QFont::NoAntialias))
    painter.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < layout_->lineCount(); ++i) {
    const QTextLine line = layout_->lineAt(i);
    const double top = origin.y() + line.y();
    if (area.isValid() && (top + line.height() < area.top() || top > area.bottom()))
      continue;
    for (const QGlyphRun &run : line.glyphRuns()) {
      if (const std::optional<QPainterPath> outlines = GlyphOutlines::path(run))
        painter.fillPath(outlines->translated(origin), color);
      else
        painter.drawGlyphRun(origin, run);
    }
  }
  painter.restore();
}

QRectF TextLayout::cursorRect(int position) const {
  const int length = int(layout_->text().size());
  position = std::clamp(position, 0, length);
  QTextLine line = layout_->lineForTextPosition(position);
  if (!line.isValid())
    line = layout_->lineAt(layout_->lineCount() - 1);
  if (!line.isValid())
    return {};
  const double x = line.cursorToX(position);
  return {x, line.y(), 0, line.ascent() + line.descent() + std::max(line.leading(), 0.0)};
}

int TextLayout::positionAt(QPointF point) const {
  const int count = layout_->lineCount();
  if (count == 0)
    return 0;
  int index = count - 1;
  for (int i = 0; i < count; ++i) {
    const QTextLine line = layout_->lineAt(i);
    if (point.y() < line.y() + line.ascent() + line.descent() + std::max(line.leading(), 0.0)) {
      index = i;
      break;
    }
  }
  return layout_->lineAt(index).xToCursor(point.x());
}

} // namespace crel
