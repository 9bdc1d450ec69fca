#include "ShortcutGuide.h"

#include "WindowPresentation.h"
#include "chrome/ChromeScrollBar.h"
#include "chrome/LightPalette.h"
#include "editor/ShortcutPopover.h"
#include "platform/Translate.h"

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
  auto *scroll = new QScrollArea;
  scroll->setObjectName(QLatin1String(WindowPresentation::shortcuts));
  scroll->setWindowTitle(crel::tr("Keyboard Shortcuts"));
  scroll->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  scroll->setAttribute(Qt::WA_DeleteOnClose, false);
  scroll->setFixedSize(windowWidth, windowHeight);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  scroll->setWidgetResizable(true);
  LightPalette::apply(scroll);
  ChromeScrollBar::apply(*scroll);
  scroll->setWidget(new ShortcutGuideView(std::move(source)));
  return scroll;
}

} // namespace crel
