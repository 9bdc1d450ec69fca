#include "WindowPresentation.h"

#include <algorithm>

namespace crel::WindowPresentation {

ReopenAction reopenAction(bool capturing, const Windows &windows, const Windows &editors) {
  using Kind = ReopenAction::Kind;
  if (capturing)
    return {};
  const auto ordered = [](const ShellWindow *w) {
    return w && w->isVisible() && !w->isMiniaturized() && !w->isPanel();
  };
  for (ShellWindow *w : windows)
    if (ordered(w) && w->hasAttachedSheet())
      return {Kind::bringForward, w};
  for (ShellWindow *w : windows)
    if (ordered(w) && std::find(editors.begin(), editors.end(), w) != editors.end())
      return {Kind::bringForward, w};
  if (editors.empty())
    return {Kind::openSettings, nullptr};
  return {Kind::bringForward, editors.back()};
}

LaunchEnd launchEnd(bool capture, bool launchedAtLogin, bool sessionExisted, bool hasEditors) {
  if (capture)
    return LaunchEnd::capture;
  if (sessionExisted && !hasEditors)
    return LaunchEnd::handBack;
  if (!launchedAtLogin && !sessionExisted && !hasEditors)
    return LaunchEnd::settings;
  return LaunchEnd::nothing;
}

} // namespace crel::WindowPresentation
