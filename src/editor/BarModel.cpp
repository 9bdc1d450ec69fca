#include "BarModel.h"

#include "chrome/ShortcutText.h"
#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

#include <QDir>

#include <algorithm>
#include <cmath>

namespace crel::BarModel {

Zoom describeZoom(double zoom) {
  Zoom z;
  z.canZoomOut = zoom > minZoom;
  z.canZoomIn = zoom < maxZoom;
  // Exactly 1 is the fitted view; 1.004 from a pinch already reads 100%.
  if (zoom == minZoom) {
    z.label = crel::tr("Fit");
    z.accessibleValue = z.label;
  } else {
    const long percent = std::lround(zoom * 100); // halves away from zero
    z.label = QString::number(percent) + QLatin1Char('%');
    z.accessibleValue = crel::tr("%1 percent of Fit").arg(percent);
  }
  return z;
}

SaveState saveState(const CrelDocument &document) {
  if (document.autosaveError())
    return SaveState::error;
  if (!document.autosaveDirectory())
    return SaveState::notSaved;
  if (!document.isDirty())
    return SaveState::saved;
  return SaveState::saving;
}

QString title(SaveState state) {
  switch (state) {
  case SaveState::error: return crel::tr("Couldn\u2019t save");
  case SaveState::notSaved: return crel::tr("Not saved");
  case SaveState::saved: return crel::tr("Saved");
  case SaveState::saving: return crel::tr("Saving");
  }
  return {};
}

QString symbol(SaveState state) {
  switch (state) {
  case SaveState::error: return QStringLiteral("exclamationmark.triangle.fill");
  case SaveState::notSaved: return QStringLiteral("circle.dashed");
  case SaveState::saved: return QStringLiteral("checkmark.circle.fill");
  case SaveState::saving: return QStringLiteral("arrow.triangle.2.circlepath");
  }
  return {};
}

QSize canvasSize(const CrelDocument &document) {
  const geom::Rect bounds = document.expandedBounds(document.marks());
  return {int(bounds.width()), int(bounds.height())};
}

QString sizeText(QSize size) { return QStringLiteral("%1 \u00D7 %2").arg(size.width()).arg(size.height()); }

QString saveHelp(const CrelDocument &document) {
  if (!document.savedURL())
    return crel::tr("Your screenshot stays on this computer.");
  const QSize size = canvasSize(document);
  return crel::tr("Saved automatically to %1. Export size %2 \u00D7 %3 px.")
      .arg(QDir::toNativeSeparators(*document.savedURL()))
      .arg(size.width())
      .arg(size.height());
}

CopyLabel copyLabel(MarkTool tool) {
  // In the extract tool Ctrl+C copies the picked text, so the button names
  // what it copies and shows no shortcut.
  if (tool == MarkTool::extract)
    return {crel::tr("Copy image"), std::nullopt, crel::tr("Copy the image and close")};
  return {crel::tr("Copy"), ShortcutText::forLinux(QStringLiteral("\u2318C")), crel::tr("Copy and close")};
}

QSizeF thumbnailSize(QSize pixelSize) {
  const double aspect = std::clamp(
      pixelSize.height() >= 1 ? double(pixelSize.width()) / pixelSize.height() : double(pixelSize.width()), 0.5, 2.0);
  return aspect < 1 ? QSizeF(24 * aspect, 24) : QSizeF(24, 24 / aspect);
}

} // namespace crel::BarModel
