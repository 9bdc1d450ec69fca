#include "MarkTool.h"

#include "platform/base/Translate.h"

namespace crel {

namespace {
struct ToolInfo {
  const char *label;
  const char *shortcut;
  const char *symbol;
};

const ToolInfo &info(MarkTool tool) {
  static const ToolInfo table[] = {
      {QT_TRANSLATE_NOOP("Crel", "Select"), "v", "cursorarrow"},
      {QT_TRANSLATE_NOOP("Crel", "Arrow"), "a", "arrow.up.right"},
      {QT_TRANSLATE_NOOP("Crel", "Line"), "l", "line.diagonal"},
      {QT_TRANSLATE_NOOP("Crel", "Rectangle"), "r", "rectangle"},
      {QT_TRANSLATE_NOOP("Crel", "Ellipse"), "o", "circle"},
      {QT_TRANSLATE_NOOP("Crel", "Triangle"), "g", "triangle"},
      {QT_TRANSLATE_NOOP("Crel", "Pen"), "p", "scribble.variable"},
      {QT_TRANSLATE_NOOP("Crel", "Text"), "t", "textformat"},
      {QT_TRANSLATE_NOOP("Crel", "Highlight"), "h", "highlighter"},
      {QT_TRANSLATE_NOOP("Crel", "Blur"), "u", "drop.halffull"},
      {QT_TRANSLATE_NOOP("Crel", "Redact"), "b", "eye.slash"},
      {QT_TRANSLATE_NOOP("Crel", "Step"), "n", "1.circle"},
      {QT_TRANSLATE_NOOP("Crel", "Select text"), "x", "text.viewfinder"},
  };
  return table[static_cast<int>(tool)];
}
} // namespace

QString label(MarkTool tool) { return tr(info(tool).label); }
QString shortcut(MarkTool tool) { return QString::fromLatin1(info(tool).shortcut); }
QString symbol(MarkTool tool) { return QString::fromLatin1(info(tool).symbol); }

QString hint(MarkTool tool) {
  switch (tool) {
  case MarkTool::select:
    return tr("Click a mark to select it. Drag to move; use corner handles to resize or the round handle above to "
              "rotate. Shift snaps rotation to 15° steps.");
  case MarkTool::arrow:
  case MarkTool::line:
    return tr("Drag to draw. Shift snaps to 45° steps, including horizontal and vertical. V selects marks.");
  case MarkTool::rectangle:
  case MarkTool::ellipse:
  case MarkTool::triangle: return tr("Drag to draw. Hold Shift for equal width and height.");
  case MarkTool::pen: return tr("Drag to draw freehand. Hold Shift for a straight stroke. [ and ] change thickness.");
  case MarkTool::text: return tr("Click and type on the image. Return finishes; Shift+Return adds a line.");
  case MarkTool::highlight:
    return tr("Smart text: click a word or drag across lines. Marker: drag a stroke; Shift keeps it straight. Area: "
              "drag a box.");
  case MarkTool::blur:
    return tr("Drag over a face or any area to blur it, or choose Smart text for words. Adjust strength or switch to "
              "Pixelate.");
  case MarkTool::redact:
    return tr("Cover an area with solid ink, or choose Smart text to cover recognized words. Review coverage before "
              "sharing.");
  case MarkTool::step: return tr("Click to add the next numbered step. V selects a step to move or resize it.");
  case MarkTool::extract:
    return tr("Click or drag over recognized text, then Copy text. Recognition stays on this computer.");
  }
  return {};
}

} // namespace crel
