// Lists the displays, freezes them all and writes one PNG per display, plus
// the crop of a global rectangle when asked:
//
//   crel-capture-probe OUTPUT_DIR [X,Y,W,H]

#include "capture/CaptureSnapshot.h"
#include "document/CrelError.h"

#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char **argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.isEmpty()) {
    std::fprintf(stderr, "usage: crel-capture-probe OUTPUT_DIR [X,Y,W,H]\n");
    return 2;
  }
  QDir out(args[0]);
  out.mkpath(".");

  auto provider = crel::SnapshotProvider::createDefault();
  std::vector<crel::CaptureSnapshot> snapshots;
  std::exception_ptr error;
  QEventLoop loop;
  QObject receiver;
  crel::CaptureSnapshot::takeDisplays(*provider, &receiver, [&](auto s, auto e) {
    snapshots = std::move(s);
    error = e;
    loop.quit();
  });
  loop.exec();
  if (error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception &e) {
      std::fprintf(stderr, "%s%s\n", crel::CaptureSnapshot::isPermissionError(error) ? "permission: " : "", e.what());
    }
    return 1;
  }
  for (const auto &s : snapshots) {
    const QString file = out.filePath(QStringLiteral("display-%1.png").arg(s.displayID));
    std::printf("display %u frame %g,%g %gx%g image %dx%d scale %g -> %s\n", s.displayID, s.screenFrame.x(),
                s.screenFrame.y(), s.screenFrame.width(), s.screenFrame.height(), s.image.width(), s.image.height(),
                s.image.devicePixelRatio(), qPrintable(file));
    s.image.save(file);
  }
  if (args.size() > 1) {
    const QStringList v = args[1].split(',');
    if (v.size() != 4)
      return 2;
    const crel::geom::Rect r(v[0].toDouble(), v[1].toDouble(), v[2].toDouble(), v[3].toDouble());
    for (const auto &s : snapshots) {
      if (!s.screenFrame.intersects(r))
        continue;
      try {
        const QImage crop = s.crop(r);
        const QString file = out.filePath(QStringLiteral("crop-%1.png").arg(s.displayID));
        std::printf("crop of display %u: %dx%d -> %s\n", s.displayID, crop.width(), crop.height(), qPrintable(file));
        crop.save(file);
      } catch (const crel::CrelError &e) {
        std::printf("crop of display %u: %s\n", s.displayID, e.what());
      }
    }
  }
  return 0;
}
