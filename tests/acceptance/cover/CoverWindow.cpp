// An opaque 1400x900 window of another process, for the live capture to hide
// editor windows beneath. Prints "ready" once mapped; runs until killed.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QWidget cover;
  cover.setWindowTitle("Cover");
  cover.setAutoFillBackground(true);
  QPalette palette = cover.palette();
  palette.setColor(QPalette::Window, QColor(70, 90, 120));
  cover.setPalette(palette);
  cover.resize(1400, 900);
  cover.move(100, 60);
  cover.show();
  QTimer::singleShot(500, [] {
    std::printf("ready\n");
    std::fflush(stdout);
  });
  return app.exec();
}
