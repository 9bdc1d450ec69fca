#pragma once

#include "document/MarkTool.h"

#include <QSize>
#include <QSizeF>
#include <QString>

#include <optional>

namespace crel {

class CrelDocument;

// What the editor's bars show, as functions of the document: the widgets
// only copy these values.
namespace BarModel {

inline constexpr double minZoom = 1, maxZoom = 12;
inline constexpr double zoomOutFactor = 0.6666666666666666, zoomInFactor = 1.5;

struct Zoom {
  bool canZoomOut = false, canZoomIn = false;
  QString label;           // "Fit" at exactly 1, else the rounded percentage
  QString accessibleValue; // "Fit", or "N percent of Fit"
  bool operator==(const Zoom &) const = default;
};
Zoom describeZoom(double zoom);

enum class SaveState { error, notSaved, saved, saving };
SaveState saveState(const CrelDocument &document);
QString title(SaveState state);
QString symbol(SaveState state);
// The expanded canvas in whole image pixels (fractions dropped).
QSize canvasSize(const CrelDocument &document);
QString sizeText(QSize size); // "W × H"
// The save label's tooltip: where the file is and the export size.
QString saveHelp(const CrelDocument &document);

struct CopyLabel {
  QString text;
  std::optional<QString> shortcut; // shown beside the text and in the hint
  QString hintTitle;
  bool operator==(const CopyLabel &) const = default;
};
CopyLabel copyLabel(MarkTool tool);

// The drag handle's thumbnail frame: the image's aspect clamped to 0.5...2,
// the longer side 24.
QSizeF thumbnailSize(QSize pixelSize);

} // namespace BarModel

} // namespace crel
