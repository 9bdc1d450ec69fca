#include "Alerts.h"

#include "WindowRegistry.h"
#include "platform/files/AppIdentity.h"

#include <QApplication>
#include <QMessageBox>

namespace crel::Alerts {

QMessageBox *present(const QString &title, const QString &text, QWidget *owner, QWidget *fallback) {
  // A window just made key may not be active yet: its owner names it.
  QWidget *key = owner ? owner : QApplication::activeWindow();
  if (!key && fallback && fallback->isVisible())
    key = fallback;
  const bool asSheet = key && !WindowRegistry::isPanel(*key) && !WindowRegistry::attachedSheet(*key);
  // The message goes in the alert itself: a window title is cut short by
  // the title bar, or not shown at all for a sheet.
  auto *box =
      new QMessageBox(QMessageBox::Warning, AppIdentity::name(), title, QMessageBox::Ok, asSheet ? key : nullptr);
  box->setInformativeText(text);
  box->setAttribute(Qt::WA_DeleteOnClose);
  // open() would make any alert window-modal, which without a parent holds nothing.
  box->setWindowModality(asSheet ? Qt::WindowModal : Qt::ApplicationModal);
  box->show();
  return box;
}

QMessageBox *applicationModal() {
  for (QWidget *w : QApplication::topLevelWidgets())
    if (auto *box = qobject_cast<QMessageBox *>(w);
        box && box->isVisible() && box->windowModality() == Qt::ApplicationModal)
      return box;
  return nullptr;
}

} // namespace crel::Alerts
