#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <limits>
#include <memory>

class QPainter;
class QPaintDevice;
class QTextLayout;

namespace crel {

// The one text layout of the program: text mark bounds, text mark drawing,
// step labels and the inline text editor all go through it, so a text looks
// the same while typed, on the canvas and in an export.
//
// Text is laid out on a fixed 72-dpi design device, so font point sizes are
// image pixels whatever screen or image it is painted on; with design
// metrics and no hinting glyph advances are fractional and do not depend on
// the rendering size. Lines wrap at word boundaries (anywhere when a word is
// wider than the box); '\n' breaks a line. Each line is as tall as the
// font's ascent + descent + leading.
class TextLayout {
public:
  static constexpr double unlimitedWidth = std::numeric_limits<double>::infinity();

  // Lays `text` out in `font` in a box `width` pixels wide (no wrapping when
  // the width is unlimited or not finite; a negative width counts as 0).
  TextLayout(const QString &text, const QFont &font, double width = unlimitedWidth);
  ~TextLayout();
  TextLayout(TextLayout &&) noexcept;
  TextLayout &operator=(TextLayout &&) noexcept;

  // Width of the widest line and height of all lines; an empty text has one
  // empty line of the font's height.
  QSizeF size() const { return size_; }
  // The size a layout of these would have. The last few answers are kept
  // (per thread): a mark's bounds are asked for on every repaint, and a long
  // text would otherwise be laid out each time.
  static QSizeF measure(const QString &text, const QFont &font, double width = unlimitedWidth);
  int lineCount() const;
  // Paints the text with the layout's top-left corner at `origin`, through
  // the painter's current transform; only the lines that reach `area` (in
  // the painter's coordinates, like `origin`) when it is given. Large text
  // is filled from GlyphOutlines, so its pixels never depend on what else
  // the process drew before.
  void draw(QPainter &painter, QPointF origin, const QColor &color, const QRectF &area = {}) const;

  // For an editor: the insertion point before UTF-16 position `position` as a
  // zero-width rectangle as tall as its line, and the position nearest to a
  // point in layout coordinates.
  QRectF cursorRect(int position) const;
  int positionAt(QPointF point) const;

  // The 72-dpi device every layout measures on.
  static const QPaintDevice *designDevice();

  // How many layouts this process has made: tests and benchmarks count the
  // text work an event costs.
  static long long madeCount();

private:
  std::unique_ptr<QTextLayout> layout_;
  QSizeF size_;
};

} // namespace crel
