#pragma once

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorController.h"
#include "platform/files/SettingsStore.h"

#include <QImage>
#include <QTemporaryDir>

#include <memory>

namespace crel::bench {

// A real editor over a plain 1600x1000 screenshot, its preferences in a
// folder of its own; not yet shown.
struct BenchEditor {
  static QImage plainScreenshot() {
    QImage screenshot(1600, 1000, QImage::Format_RGB32);
    screenshot.fill(QColor(244, 245, 247));
    return screenshot;
  }

  QTemporaryDir dir;
  SettingsStore store{dir.filePath(QStringLiteral("settings.ini"))};
  AnnotationPreferences annotation{store};
  EditorSizePreferences sizes{store};
  EditorController editor{std::make_unique<CrelDocument>(plainScreenshot(), annotation), sizes};
};

} // namespace crel::bench
