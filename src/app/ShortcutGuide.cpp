#include "ShortcutGuide.h"

#include "ShellText.h"
#include "ShortcutManager.h"
#include "WindowPresentation.h"
#include "chrome/ChromeColors.h"
#include "chrome/ChromeFonts.h"
#include "chrome/ChromeScrollBar.h"
#include "chrome/LightPalette.h"
#include "chrome/Symbols.h"
#include "document/MarkTool.h"
#include "platform/RawValue.h"
#include "platform/Translate.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace crel {

namespace {

QLabel *text(const QString &content, QWidget *parent, double size, bool secondary, bool mono = false) {
  return ShellText::label(content, parent, {size, QFont::Normal, secondary, mono, !mono});
}

QPixmap symbolPixmap(const QString &name, qreal ratio) {
  QPixmap pixmap(QSize(16, 16) * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  Symbols::paint(painter, name, QRectF(0, 0, 16, 16), 13, QFont::Medium, ChromeColors::label());
  return pixmap;
}

void addRow(QVBoxLayout *column, QWidget *parent, const QString &title, const QString &keys,
            const QString &symbol = {}) {
  auto *row = new QHBoxLayout;
  row->setSpacing(8);
  if (!symbol.isEmpty()) {
    auto *icon = new QLabel(parent);
    icon->setPixmap(symbolPixmap(symbol, parent->devicePixelRatioF()));
    icon->setFixedSize(16, 16);
    row->addWidget(icon);
  }
  QLabel *left = text(title, parent, 13, false);
  left->setWordWrap(false);
  left->setObjectName(QStringLiteral("row-title"));
  row->addWidget(left);
  row->addStretch();
  QLabel *right = text(keys, parent, 12, false, true);
  right->setObjectName(QStringLiteral("row-keys"));
  row->addWidget(right);
  column->addLayout(row);
}

using ShellText::divider;

} // namespace

std::vector<ShortcutGuide::Row> ShortcutGuide::menuRows(const QList<QMenu *> &menus) {
  std::vector<Row> rows;
  for (const QMenu *menu : menus)
    for (const QAction *action : menu->actions())
      if (!action->isSeparator() && !action->shortcut().isEmpty())
        rows.push_back(
            {QString(action->text()).remove(QLatin1Char('&')), action->shortcut().toString(QKeySequence::NativeText)});
  return rows;
}

ShortcutGuide::ShortcutGuide(const QList<QMenu *> &menus, QWidget *parent) : QWidget(parent) {
  setObjectName(QStringLiteral("shortcut-guide"));
  auto *column = new QVBoxLayout(this);
  column->setContentsMargins(24, 24, 24, 24);
  column->setSpacing(14);
  QLabel *title = ShellText::label(crel::tr("Keyboard shortcuts"), this, {17, QFont::Bold});
  column->addWidget(title);
  column->addWidget(
      text(crel::tr("Capture anywhere: %1. Change it in Settings.").arg(ShortcutManager::savedShortcut().label()), this,
           12, true));
  for (const auto &[tool, name] : RawValues<MarkTool>::table) {
    Q_UNUSED(name);
    addRow(column, this, label(tool), shortcut(tool).toUpper(), symbol(tool));
  }
  column->addWidget(divider(this));
  for (const Row &row : menuRows(menus))
    addRow(column, this, row.title, row.keys);
  addRow(column, this, crel::tr("Copy pixel color"), crel::tr("Alt+click"));
  column->addWidget(text(crel::tr("Hover over the image to see its sRGB hex color. Alt-click or right-click > Copy "
                                  "Color copies it without closing the image."),
                         this, 11, true));
  column->addWidget(divider(this));
  column->addWidget(text(
      crel::tr("Shift snaps lines and arrows to 45° steps, draws squares and circles, and locks movement to one axis. "
               "V selects marks; drawing tools stay active. Drag the round handle above a selection to rotate; Shift "
               "snaps rotation to 15° steps. Alt+Left/Right turns a selection 15°. Ctrl-drag temporarily selects. "
               "Delete removes a selection; Ctrl+D duplicates. Arrow keys nudge by 1 pixel, or 10 with Shift. [ and ] "
               "change thickness. Pinch or Ctrl +/− zooms; Ctrl+0 fits; Space-drag pans. H highlights text, strokes "
               "or areas. X selects text for copying. B covers sensitive areas. U blurs or pixelates areas and words, "
               "with adjustable strength. N adds numbered steps. Double-click a text label with V to edit. Return "
               "finishes text; Shift+Return adds a line; Esc cancels."),
      this, 11, true));
  column->addStretch();
}

QWidget *ShortcutGuide::window(const QList<QMenu *> &menus) {
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
  scroll->setWidget(new ShortcutGuide(menus));
  return scroll;
}

} // namespace crel
