#include "PreviewModes.h"

#include "EditorPreview.h"
#include "LiveEditorCapture.h"
#include "SettingsPreview.h"
#include "StylePreview.h"

#include "platform/base/OffscreenScreen.h"
#include "platform/display/X11Access.h"

#include <QTemporaryDir>

namespace crel::PreviewModes {

namespace {

// Headless editor windows need a desktop-sized screen: the offscreen
// platform's default 800x800 would clamp the larger sizes.
void desktopSizedWhenHeadless() {
  const QByteArray requested = qgetenv("QT_QPA_PLATFORM");
  const bool offscreen = requested == "offscreen" || (requested.isEmpty() && !X11Access::displayReachable());
  if (!offscreen)
    return;
  // Read when the platform starts; kept until the process ends.
  static QTemporaryDir folder;
  if (folder.isValid())
    OffscreenScreen::useDesktopSized(folder.path());
}

} // namespace

int renderStyles(LaunchContext &context) {
  context.application();
  StylePreview::render(context.choice().path);
  return 0;
}

int exportArrowSvg(LaunchContext &context) {
  context.application();
  StylePreview::exportArrowSVG(context.choice().path);
  return 0;
}

int renderEditor(LaunchContext &context) {
  desktopSizedWhenHeadless();
  context.application();
  const CommandLine &commandLine = context.commandLine();
  EditorPreview::render(context.choice().path, {commandLine.has(QStringLiteral("--quick")),
                                                commandLine.has(QStringLiteral("--color-inspection"))});
  return 0;
}

int renderSettings(LaunchContext &context) {
  desktopSizedWhenHeadless();
  context.application();
  SettingsPreview::render(context.choice().path, context.commandLine());
  return 0;
}

int captureEditorLive(LaunchContext &context) {
  const QByteArray requested = qgetenv("QT_QPA_PLATFORM");
  if (!(requested.isEmpty() || requested.startsWith("xcb")) || !X11Access::displayReachable()) {
    LiveEditorCapture::skipWithoutX11(context.choice().path);
    return 0;
  }
  context.application();
  LiveEditorCapture::run(context.choice().path, context.commandLine());
  return 0;
}

} // namespace crel::PreviewModes
