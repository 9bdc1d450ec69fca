#include "Fixture.h"

#include "FileManagerStub.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace crel::acceptance {

namespace {

class FixtureView final : public QWidget {
public:
  using QWidget::QWidget;

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0.12F, 0.62F, 0.32F));
  }
};

bool standardInputIsPipe() {
  struct stat info {};
  return fstat(STDIN_FILENO, &info) == 0 && S_ISFIFO(info.st_mode);
}

void reply(const char *line) {
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Reads the controller's commands; end of file or a broken pipe ends the
// fixture, so a vanished controller never leaves its windows on screen.
class Controller final : public QObject {
public:
  Controller(QWidget &window, QWidget &shield) : window_(window), shield_(shield) {
    notifier_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readInput(); });
  }

private:
  void readInput() {
    char chunk[256];
    const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (count <= 0) {
      notifier_->setEnabled(false);
      QCoreApplication::exit(0);
      return;
    }
    pending_.append(chunk, count);
    qsizetype end = 0;
    while ((end = pending_.indexOf('\n')) >= 0) {
      const QByteArray command = pending_.left(end).trimmed();
      pending_.remove(0, end + 1);
      perform(command);
    }
  }

  void perform(const QByteArray &command) {
    if (command == "hide") {
      shield_.hide();
      window_.hide();
      reply("HIDDEN");
    } else if (command == "unhide") {
      window_.show();
      shield_.show();
      reply("SHOWN");
    } else if (command == "activate") {
      window_.raise();
      window_.activateWindow();
      reply("ACTIVE");
    } else if (command == "quit") {
      QCoreApplication::exit(0);
    } else {
      reply("UNKNOWN");
    }
  }

  QWidget &window_;
  QWidget &shield_;
  std::unique_ptr<QSocketNotifier> notifier_;
  QByteArray pending_;
};

bool exposed(const QWidget &widget) { return widget.windowHandle() && widget.windowHandle()->isExposed(); }

} // namespace

QRect captureRect(const QRect &primary) {
  return {primary.x() + primary.width() / 2 - 200, primary.y() + primary.height() / 2 - 130, 400, 260};
}

QRect captureRect() {
  const QScreen *screen = QGuiApplication::primaryScreen();
  if (!screen)
    throw std::runtime_error("The acceptance fixture needs a screen");
  return captureRect(screen->geometry());
}

int runFixture() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const QRect capture = captureRect();

  // Geometry before show(): the window manager then honours the position.
  FixtureView window(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
  // Another title only for the run that must refuse a fixture it cannot verify.
  const QString title = qEnvironmentVariable("CREL_ACCEPTANCE_FIXTURE_TITLE");
  window.setWindowTitle(title.isEmpty() ? QStringLiteral("Crel acceptance fixture") : title);
  const QRect windowRect = capture.adjusted(-60, -60, 60, 60);
  window.setGeometry(windowRect);
  window.setFixedSize(windowRect.size());

  // Above managed windows, yet never in the way of the user's pointer.
  FixtureView shield(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                                  Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput);
  shield.setAttribute(Qt::WA_ShowWithoutActivating);
  shield.setGeometry(capture.adjusted(-50, -50, 50, 50));

  window.show();
  window.raise();
  window.activateWindow();
  shield.show();

  // Under a controller the fixture is also the session's file manager, so
  // that showing a saved file brings a foreign application to the front.
  FileManagerStub fileManager;
  std::unique_ptr<Controller> controller;
  if (standardInputIsPipe()) {
    controller = std::make_unique<Controller>(window, shield);
    fileManager.serve();
  }

  QTimer readiness;
  readiness.setInterval(20);
  QObject::connect(&readiness, &QTimer::timeout, &readiness, [&] {
    if (!exposed(window) || !exposed(shield))
      return;
    readiness.stop();
    std::printf("READY %lld %llu %llu\n", static_cast<long long>(QCoreApplication::applicationPid()),
                static_cast<unsigned long long>(window.winId()), static_cast<unsigned long long>(shield.winId()));
    std::fflush(stdout);
  });
  readiness.start();
  return QApplication::exec();
}

} // namespace crel::acceptance
