#pragma once

#include <QString>

namespace crel {

// Headless renders of whole windows: Qt's offscreen platform shows an
// 800x800 screen unless told otherwise, too small for a large editor window.
namespace OffscreenScreen {

// Writes a screen description of one 1920x1080 screen at 96 dpi, without
// window frame margins, into `folder` (which must outlive the application
// object) and selects the offscreen platform with it. Call before the
// application object; returns false when the file cannot be written.
bool useDesktopSized(const QString &folder);

} // namespace OffscreenScreen

} // namespace crel
