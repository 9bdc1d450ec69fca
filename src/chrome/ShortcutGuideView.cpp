#include "ShortcutGuideView.h"

#include "ChromeColors.h"
#include "ChromeFonts.h"
#include "ShellText.h"
#include "Symbols.h"
#include "platform/base/Translate.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace crel {

namespace {

using ShellText::divider;

QLabel *text(const QString &content, QWidget *parent, ShellText::Style style, bool wraps = true) {
  style.wraps = wraps;
  return ShellText::label(content, parent, style);
}

// Painted at whatever density the guide is drawn at.
class SymbolView : public QWidget {
public:
  SymbolView(QString name, QWidget *parent) : QWidget(parent), name_(std::move(name)) { setFixedSize(16, 16); }

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    Symbols::paint(painter, name_, QRectF(0, 0, 16, 16), 13, QFont::Medium, ChromeColors::label());
  }

private:
  QString name_;
};

void addRow(QVBoxLayout *column, QWidget *parent, const ShortcutGuideView::Row &content) {
  auto *row = new QHBoxLayout;
  row->setSpacing(8);
  if (!content.symbol.isEmpty()) {
    row->addWidget(new SymbolView(content.symbol, parent));
  }
  QLabel *left = text(content.title, parent, {13}, false);
  left->setObjectName(QStringLiteral("row-title"));
  row->addWidget(left);
  row->addStretch();
  QLabel *right = text(content.keys, parent, {12, QFont::Normal, false, true}, false);
  right->setObjectName(QStringLiteral("row-keys"));
  row->addWidget(right);
  column->addLayout(row);
}

// The gestures, a few short sections rather than one dense paragraph.
struct Section {
  const char *title;
  const char *body;
};
constexpr Section gestureSections[] = {
    {QT_TRANSLATE_NOOP("Crel", "Drawing"),
     QT_TRANSLATE_NOOP(
         "Crel", "Shift snaps lines and arrows to 45° steps, draws squares and circles, and locks movement to one "
                 "axis. [ and ] change thickness.")},
    {QT_TRANSLATE_NOOP("Crel", "Selecting"),
     QT_TRANSLATE_NOOP("Crel",
                       "V selects marks; drawing tools stay active. Ctrl-drag temporarily selects. Delete removes a "
                       "selection; Ctrl+D duplicates. Arrow keys nudge by 1 pixel, or 10 with Shift.")},
    {QT_TRANSLATE_NOOP("Crel", "Rotating"),
     QT_TRANSLATE_NOOP("Crel", "Drag the round handle above a selection to rotate; Shift snaps rotation to 15° steps. "
                               "Alt+Left/Right turns a selection 15°.")},
    {QT_TRANSLATE_NOOP("Crel", "Zooming"),
     QT_TRANSLATE_NOOP("Crel", "Pinch or Ctrl +/− zooms; Ctrl+0 fits; Space-drag pans.")},
    {QT_TRANSLATE_NOOP("Crel", "Tools"),
     QT_TRANSLATE_NOOP(
         "Crel",
         "H highlights text, strokes or areas. X selects text for copying. B covers sensitive areas. U blurs or "
         "pixelates areas and words, with adjustable strength. N adds numbered steps.")},
    {QT_TRANSLATE_NOOP("Crel", "Text"),
     QT_TRANSLATE_NOOP(
         "Crel",
         "Double-click a text label with V to edit. Return finishes text; Shift+Return adds a line; Esc cancels.")},
};

} // namespace

ShortcutGuideView::ShortcutGuideView(Source source, QWidget *parent) : QWidget(parent), source_(std::move(source)) {
  setObjectName(QStringLiteral("shortcut-guide"));
  refresh();
}

void ShortcutGuideView::showEvent(QShowEvent *event) {
  refresh();
  QWidget::showEvent(event);
}

void ShortcutGuideView::refresh() {
  Content content = source_ ? source_() : Content{};
  if (built_ && content == content_)
    return;
  content_ = std::move(content);
  build();
}

void ShortcutGuideView::build() {
  // Rebuilt whole: the rows change only when a shortcut or a menu did.
  if (QLayout *old = layout()) {
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
      delete child;
    delete old;
  }
  built_ = true;
  auto *column = new QVBoxLayout(this);
  column->setContentsMargins(24, 24, 24, 24);
  column->setSpacing(14);
  column->addWidget(text(tr("Keyboard shortcuts"), this, {17, QFont::Bold}));
  if (!content_.captureLine.isEmpty()) {
    QLabel *capture = text(content_.captureLine, this, {12, QFont::Normal, true});
    capture->setObjectName(QStringLiteral("capture-line"));
    column->addWidget(capture);
  }
  for (const Row &row : content_.tools)
    addRow(column, this, row);
  column->addWidget(divider(this));
  for (const Row &row : content_.menus)
    addRow(column, this, row);
  addRow(column, this, {tr("Copy pixel color"), tr("Alt+click"), {}});
  column->addWidget(text(tr("Hover over the image to see its sRGB hex color. Alt-click or right-click > Copy Color "
                            "copies it without closing the image."),
                         this, {11, QFont::Normal, true}));
  column->addWidget(divider(this));
  for (const Section &section : gestureSections) {
    auto *block = new QVBoxLayout;
    block->setSpacing(2);
    block->addWidget(text(tr(section.title), this, {11, QFont::DemiBold}));
    QLabel *body = text(tr(section.body), this, {11, QFont::Normal, true});
    body->setObjectName(QStringLiteral("gestures"));
    block->addWidget(body);
    column->addLayout(block);
  }
  column->addStretch();
}

} // namespace crel
