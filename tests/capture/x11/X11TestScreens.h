#pragma once

#include <QRect>
#include <QRgb>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class QScreen;

// Known pictures on the displays of the X test bed.
namespace crel::test {

constexpr QRgb background = 0xff00c000;
constexpr QRgb colours[] = {0xffe01010, 0xff1030e0};

// The test bed's layout name; empty outside it.
QString layout();

// Paints the root window a known colour over a connection of our own.
void paintRoot(QRgb colour);

std::unique_ptr<QWidget> colouredWindow(QRect logical, QRgb colour, Qt::WindowFlags flags, const QString &title);

// Fills each display's part of the root window with the colours of
// capture/portal/CodedDesktop.h for that display (screens()[i] is display i),
// so a shifted, scaled or other display's read shows other colours; waits
// until the server shows them.
void paintRootPattern();

// Waits until the server shows `colour` at a logical point of a display
// (Qt paints asynchronously; a busy machine may lag).
void waitForColour(QScreen *screen, QPoint local, QRgb colour);

// The background colour on the root and, on each display, a window in
// colours[i % 2] over logical (100,100)-(500,400) of that display.
std::vector<std::unique_ptr<QWidget>> paintEachDisplay();

} // namespace crel::test
