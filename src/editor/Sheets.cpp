#include "Sheets.h"

#include <QDialog>

namespace crel::Sheets {

QDialog *attached(const QWidget *window) {
  if (!window)
    return nullptr;
  for (QDialog *dialog : window->findChildren<QDialog *>(Qt::FindDirectChildrenOnly))
    if (dialog->isVisible() && dialog->windowModality() == Qt::WindowModal)
      return dialog;
  return nullptr;
}

} // namespace crel::Sheets
