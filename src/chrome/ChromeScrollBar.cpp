#include "ChromeScrollBar.h"

#include <QAbstractScrollArea>
#include <QScrollBar>

namespace crel::ChromeScrollBar {

void apply(QAbstractScrollArea &area) {
  // A style sheet rather than a proxy style: only these two bars change, and
  // Fusion draws everything else as before.
  const QString sheet =
      QStringLiteral(
          "QScrollBar { background: transparent; border: none; margin: 0; }"
          "QScrollBar:vertical { width: %1px; } QScrollBar:horizontal { height: %1px; }"
          "QScrollBar::handle { background: rgba(0, 0, 0, 0.28); border-radius: 3px; margin: 3px; }"
          "QScrollBar::handle:hover, QScrollBar::handle:pressed { background: rgba(0, 0, 0, 0.45); }"
          "QScrollBar::handle:vertical { min-height: 32px; } QScrollBar::handle:horizontal { min-width: 32px; }"
          "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; background: none; }"
          "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
          .arg(width);
  area.verticalScrollBar()->setStyleSheet(sheet);
  area.horizontalScrollBar()->setStyleSheet(sheet);
}

} // namespace crel::ChromeScrollBar
