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

// A colour that names its root pixel: red the low byte of x, green the low
// byte of y, blue the high bits of both. A shifted, scaled or mirrored read
// shows other codes.
constexpr QRgb codeAt(QPoint root) {
  return 0xff000000u | (quint32(root.x() & 0xff) << 16) | (quint32(root.y() & 0xff) << 8) |
         quint32(((root.x() >> 8) & 0x1f) | ((root.y() >> 8) & 0x7) << 5);
}

// Fills the root window with codeAt of every root pixel (up to 8192 x 2048)
// and waits until the server shows it.
void paintRootPattern();

// The first pixel of `image` that differs from codeAt(rootOrigin + its
// position), as "x,y: got … want …", or empty when every pixel matches.
QString patternMismatch(const QImage &image, QPoint rootOrigin);

// Waits until the server shows `colour` at a logical point of a display
// (Qt paints asynchronously; a busy machine may lag).
void waitForColour(QScreen *screen, QPoint local, QRgb colour);

// The background colour on the root and, on each display, a window in
// colours[i % 2] over logical (100,100)-(500,400) of that display.
std::vector<std::unique_ptr<QWidget>> paintEachDisplay();

} // namespace crel::test
