#pragma once

#include <QPainterPath>

#include <optional>

class QGlyphRun;
class QTransform;

namespace crel {

// Outlines of large text, taken from font engines that nothing else draws
// with.
//
// Qt draws glyphs of more than 64 device pixels as filled outlines, which it
// reads through the FreeType face every engine of that font file shares.
// FreeType keeps on that face the sub-pixel offset of the last glyph any
// engine rasterised (menu text, a small text mark on the canvas), and Qt's
// outline reading does not reset it: large text then shifts by a fraction of
// a pixel depending on what was drawn before, and an export of one document
// changes its bytes. The outlines here come from a private copy of each font,
// whose face is only ever read for outlines, so they depend only on the
// font, the size and the glyph.
class GlyphOutlines {
public:
  // Whether text in a font of `pixelSize` (its own pixels), painted through
  // `deviceTransform`, is drawn from outlines here: when Qt would fill its
  // outlines too, at sizes where it never synthesises a bold weight.
  static bool drawsAsOutlines(double pixelSize, const QTransform &deviceTransform);

  // The run's glyphs as one path (winding fill) at their positions in the
  // run's coordinates; none when its font has no outlines of its own to
  // copy (bitmap or colour glyphs, variable fonts), which Qt then draws.
  // The GUI thread keeps its copies of fonts; other threads copy afresh
  // on each call.
  static std::optional<QPainterPath> path(const QGlyphRun &run);
};

} // namespace crel
