#pragma once

class QMessageBox;
class QString;
class QWidget;

namespace crel {

// The shell's alerts. Never a nested event loop: an answer, if any,
// arrives through the dialog's finished().
namespace Alerts {

// Shows `title`, with `text` beneath, as a sheet on `owner` when given,
// else on the key window, else on `fallback` while it is visible; above
// everything when that window is a panel or shows a sheet already, or
// when there is none.
QMessageBox *present(const QString &title, const QString &text, QWidget *owner, QWidget *fallback);

// An alert above everything still waiting for its answer; none when there is none.
QMessageBox *applicationModal();

} // namespace Alerts

} // namespace crel
