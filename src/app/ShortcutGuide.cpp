#include "ShortcutGuide.h"

#include "WindowPresentation.h"
#include "chrome/ChromeScrollBar.h"
#include "editor/GlassSurface.h"
#include "editor/ShortcutPopover.h"
#include "platform/base/Translate.h"

#include <QAction>
#include <QFrame>
#include <QMenu>
#include <QScrollArea>

namespace crel {

std::vector<ShortcutGuide::Row> ShortcutGuide::menuRows(const QList<QMenu *> &menus) {
  std::vector<Row> rows;
  for (const QMenu *menu : menus)
    for (const QAction *action : menu->actions())
      if (!action->isSeparator() && !action->shortcut().isEmpty())
        rows.push_back({QString(action->text()).remove(QLatin1Char('&')),
                        action->shortcut().toString(QKeySequence::NativeText),
                        {}});
  return rows;
}

QString ShortcutGuide::captureLine(const QString &captureLabel) {
  return crel::tr("Capture anywhere: %1. Change it in Settings.").arg(captureLabel);
}

ShortcutGuideView::Content ShortcutGuide::content(const QString &captureLine, const QList<QMenu *> &menus) {
  return {captureLine, ShortcutPopover::toolRows(), menuRows(menus)};
}

QWidget *ShortcutGuide::window(ShortcutGuideView::Source source) {
  auto *window = new QWidget;
  window->setObjectName(QLatin1String(WindowPresentation::shortcuts));
  window->setWindowTitle(crel::tr("Keyboard Shortcuts"));
  window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  auto *scroll = new QScrollArea;
  scroll->setFixedSize(windowWidth, windowHeight);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  scroll->setWidgetResizable(true);
  ChromeScrollBar::apply(*scroll);
  scroll->setWidget(new ShortcutGuideView(std::move(source)));
  GlassSurface::install(scroll, *window);
  // Neither resized nor maximised: the guide scrolls within its one size.
  window->setFixedSize(window->size());
  return window;
}

void ShortcutGuide::present(QWidget &window, bool applicationActive) {
  window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
  window.setAttribute(Qt::WA_ShowWithoutActivating, !applicationActive);
  window.show();
  window.raise();
  if (applicationActive)
    window.activateWindow();
}

} // namespace crel
