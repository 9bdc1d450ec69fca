#pragma once

class QDialog;
class QWidget;

namespace crel {

// A window's "sheet": a visible window-modal dialog that belongs to it.
namespace Sheets {

QDialog *attached(const QWidget *window);

} // namespace Sheets

} // namespace crel
