#include "ShellRules.h"

#include "platform/base/Translate.h"

#include <QStringList>

#include <algorithm>

namespace crel::ShellRules {

namespace {

bool anyVisibleMainCapable(const Windows &windows) {
  return std::any_of(windows.begin(), windows.end(),
                     [](const ShellWindow *w) { return w && w->isVisible() && w->canBecomeMain(); });
}

} // namespace

bool isBusy(bool captureIdle, bool hasModalWindow, const Windows &windows) {
  if (!captureIdle || hasModalWindow)
    return true;
  return std::any_of(windows.begin(), windows.end(), [](const ShellWindow *w) {
    return w && w->isVisible() && (w->hasAttachedSheet() || w->isFilePanel());
  });
}

bool onScreen(const ShellWindow &window) { return window.isVisible() && !window.isMiniaturized(); }

bool isIdle(const IdleState &state, const Windows &windows) {
  // An editor, minimised or not, counts through hasEditors.
  const bool inUse = std::any_of(windows.begin(), windows.end(),
                                 [](const ShellWindow *w) { return w && onScreen(*w) && w->canBecomeMain(); });
  return state.lastInteraction.msecsTo(state.now) >= 60'000 && !inUse && state.captureIdle && !state.hasEditors &&
         !state.applicationActive && !state.statusMenuOpen;
}

int currentEditor(const Windows &editorWindows) {
  for (int i = 0; i < int(editorWindows.size()); ++i)
    if (const ShellWindow *w = editorWindows[i]; w && (w->isKey() || w->isMain()))
      return i;
  return -1;
}

const ShellWindow *firstWithSheet(const Windows &windows) {
  for (const ShellWindow *w : windows)
    if (w && w->hasAttachedSheet())
      return w;
  return nullptr;
}

bool shouldYieldActivation(const QDateTime &now, const QDateTime &deadline, bool hasEditors, const Windows &windows) {
  return now < deadline && !hasEditors && !anyVisibleMainCapable(windows);
}

int welcomeHeight(std::optional<int> availableHeight) {
  if (!availableHeight)
    return 740;
  return std::clamp(*availableHeight - 80, welcomeMinimumHeight, 760);
}

std::optional<QRect> restoredFrame(const QRect &saved, const QList<QRect> &availableAreas) {
  if (saved.isEmpty())
    return std::nullopt;
  const QRect *best = nullptr;
  qint64 bestArea = 0;
  for (const QRect &area : availableAreas) {
    const QRect overlap = saved.intersected(area);
    const qint64 size = qint64(overlap.width()) * overlap.height();
    if (!overlap.isEmpty() && size > bestArea) {
      best = &area;
      bestArea = size;
    }
  }
  if (!best)
    return std::nullopt;
  QRect frame(saved.topLeft(), saved.size().boundedTo(best->size()));
  frame.moveLeft(std::clamp(frame.left(), best->left(), best->right() + 1 - frame.width()));
  frame.moveTop(std::clamp(frame.top(), best->top(), best->bottom() + 1 - frame.height()));
  return frame;
}

std::vector<ScreenshotEntry> screenshotEntries(const Windows &editorWindows) {
  std::vector<ScreenshotEntry> entries;
  for (int i = int(editorWindows.size()) - 1; i >= 0; --i) {
    const ShellWindow *w = editorWindows[i];
    if (!w)
      continue;
    const Qt::CheckState state = w->isMiniaturized() ? Qt::PartiallyChecked : w->isKey() ? Qt::Checked : Qt::Unchecked;
    entries.push_back({w->title(), state, i});
  }
  return entries;
}

StatusText statusText(const QString &applicationName, bool showingCopied, bool updateKnown) {
  QStringList marks, label{applicationName};
  if (showingCopied) {
    marks << crel::tr("Copied");
    label << crel::tr("Copied to clipboard");
  }
  if (updateKnown) {
    marks << QStringLiteral("↑");
    label << crel::tr("Update available");
  }
  StatusText text;
  text.variableLength = !marks.isEmpty();
  text.title = marks.isEmpty() ? QString() : QLatin1Char(' ') + marks.join(QLatin1Char(' '));
  text.accessibilityLabel = label.join(QStringLiteral(", "));
  return text;
}

} // namespace crel::ShellRules
