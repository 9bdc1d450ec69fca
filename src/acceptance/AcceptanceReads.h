#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

namespace crel::acceptance {

// The PNG bytes on the clipboard; empty when there are none.
QByteArray clipboardPng();
// The window exists, is the application's active window, and the
// application is the active one.
bool isKeyWindow(const QWidget *window);

} // namespace crel::acceptance
