// Starts one screen capture and writes the image the user selects:
//
//   crel-capture OUTPUT.png
//
// Exit status: 0 with an image, 1 after an error or a declined permission,
// 3 when the capture was cancelled.

#include "ToolUsage.h"

#include "capture/CaptureCoordinator.h"

#include <QApplication>
#include <QSaveFile>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.size() != 1 || crel::tools::wantsUsage(args))
    return crel::tools::printUsage("usage: crel-capture OUTPUT.png\n");
  const QString output = args[0];

  crel::CaptureCoordinator coordinator;
  bool reported = false;
  coordinator.setOnImage(&app, [&](const QImage &image, const crel::CaptureSource &source) {
    reported = true;
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
      std::fprintf(stderr, "could not write %s\n", qPrintable(output));
      app.exit(1);
      return;
    }
    std::printf("%dx%d from \"%s\" / \"%s\" -> %s\n", image.width(), image.height(), qPrintable(source.applicationName),
                qPrintable(source.windowTitle), qPrintable(output));
    std::fflush(stdout);
    app.exit(0);
  });
  coordinator.setOnError(&app, [&](const std::exception_ptr &error) {
    reported = true;
    std::fprintf(stderr, "%s\n", qPrintable(crel::CaptureCoordinator::errorMessage(error)));
    app.exit(1);
  });
  coordinator.setOnPermissionRequired(&app, [&] {
    reported = true;
    std::fprintf(stderr, "permission declined: this session does not let us read the screen\n");
    app.exit(1);
  });
  QObject::connect(&coordinator, &crel::CaptureCoordinator::phaseChanged, &app,
                   [&](crel::CaptureCoordinator::Phase phase) {
                     // The callbacks run right after the phase turns idle.
                     if (phase == crel::CaptureCoordinator::Phase::idle)
                       QTimer::singleShot(0, &app, [&] {
                         if (!reported) {
                           std::fprintf(stderr, "cancelled\n");
                           app.exit(3);
                         }
                       });
                   });
  QTimer::singleShot(0, &coordinator, &crel::CaptureCoordinator::begin);
  return app.exec();
}
