// Writes the whole X screen to a PNG, for looking at what a test run shows:
//   crel-screen-grab OUT.png
#include "ToolUsage.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char *argv[]) {
  QGuiApplication app(argc, argv);
  if (argc != 2 || crel::tools::wantsUsage({QString::fromLocal8Bit(argv[1])}))
    return crel::tools::printUsage("usage: crel-screen-grab OUT.png\n");
  QScreen *screen = QGuiApplication::primaryScreen();
  // Window 0 is the root: every monitor of the virtual screen at once.
  const QPixmap shot = screen ? screen->grabWindow(0) : QPixmap();
  if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]))) {
    std::fputs("could not grab the screen\n", stderr);
    return 1;
  }
  return 0;
}
