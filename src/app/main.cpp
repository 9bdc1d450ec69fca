#include <QApplication>

// The command-line modes and the application delegate are not wired yet: an
// ordinary launch starts the application object and leaves at once.
int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  return 0;
}
