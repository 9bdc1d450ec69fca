#include "ImageOpenPanel.h"

#include "ImageOpening.h"
#include "document/CrelStorage.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"

#include <QDateTime>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTreeView>

#include <vector>

namespace crel {

std::unique_ptr<QFileDialog> ImageOpenPanel::make(const QString &directory) {
  CrelStorage::prepareDirectory(directory);
  auto panel = std::make_unique<QFileDialog>(nullptr, crel::tr("Open Image"), directory, ImageOpening::nameFilter());
  panel->setObjectName(QStringLiteral("open-image"));
  // The widget dialog: the same on every desktop, and one of our windows, so
  // the update rules see it.
  panel->setOption(QFileDialog::DontUseNativeDialog);
  panel->setFileMode(QFileDialog::ExistingFile);
  panel->setAcceptMode(QFileDialog::AcceptOpen);
  panel->setLabelText(QFileDialog::Accept, crel::tr("Open"));
  panel->setViewMode(QFileDialog::Detail);
  // Where the user's images are, above everything else in the panel.
  auto *guidance = new QLabel(crel::tr("Your saved images are in Pictures → %1. You can also import an image from "
                                       "another folder.")
                                  .arg(AppIdentity::name()),
                              panel.get());
  guidance->setObjectName(QStringLiteral("open-image-guidance"));
  guidance->setWordWrap(true);
  if (auto *grid = qobject_cast<QGridLayout *>(panel->layout())) {
    struct Placed {
      QLayoutItem *item;
      int row, column, rows, columns;
    };
    std::vector<Placed> placed;
    while (grid->count() > 0) {
      Placed p{};
      grid->getItemPosition(0, &p.row, &p.column, &p.rows, &p.columns);
      p.item = grid->takeAt(0);
      placed.push_back(p);
    }
    const int columns = grid->columnCount();
    for (int row = grid->rowCount() - 1; row >= 0; --row)
      grid->setRowStretch(row + 1, grid->rowStretch(row));
    grid->setRowStretch(0, 0);
    grid->addWidget(guidance, 0, 0, 1, columns);
    for (const Placed &p : placed)
      grid->addItem(p.item, p.row + 1, p.column, p.rows, p.columns);
  }
  // Wide and tall enough for whole file names beside their sizes, kinds and
  // dates; the files arrive later, so the columns are sized for what they
  // will hold rather than for their contents.
  panel->resize(size);
  if (auto *list = panel->findChild<QTreeView *>(QStringLiteral("treeView"))) {
    const QFontMetrics metrics(list->font());
    const int padding = 3 * metrics.averageCharWidth();
    const QDateTime late(QDate(2000, 12, 28), QTime(23, 58, 58));
    const int widths[] = {
        metrics.horizontalAdvance(QStringLiteral("Firefox - Release notes - 2026-12-06 11.40.51.png")),
        metrics.horizontalAdvance(QStringLiteral("999.9 KiB")),
        metrics.horizontalAdvance(QStringLiteral("PNG image")),
        metrics.horizontalAdvance(QLocale::system().toString(late, QLocale::ShortFormat)),
    };
    for (int column = 0; column < 4; ++column)
      list->header()->resizeSection(column, widths[column] + padding);
    // The name column also holds the file's icon.
    list->header()->resizeSection(0, widths[0] + 2 * padding + list->iconSize().width());
  }
  return panel;
}

} // namespace crel
