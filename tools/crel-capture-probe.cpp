// Lists the displays, freezes them all and writes one PNG per display, plus
// the crop of a global rectangle when asked:
//
//   crel-capture-probe OUTPUT_DIR [X,Y,W,H]

#include "ToolUsage.h"

#include "capture/CaptureSnapshot.h"
#include "document/CrelError.h"

#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  const QStringList v = args.value(1).split(',');
  const bool rectOk = args.size() < 2 || (v.size() == 4 && std::all_of(v.begin(), v.end(), [](const QString &n) {
                                            bool ok = false;
                                            n.toDouble(&ok);
                                            return ok;
                                          }));
  if (args.isEmpty() || args.size() > 2 || !rectOk || crel::tools::wantsUsage(args))
    return crel::tools::printUsage("usage: crel-capture-probe OUTPUT_DIR [X,Y,W,H]\n");
  QDir out(args[0]);
  if (!out.mkpath(".")) {
    std::fprintf(stderr, "cannot create %s\n", qPrintable(args[0]));
    return 1;
  }

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
    if (!s.image.save(file)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  if (args.size() > 1) {
    const crel::geom::Rect r(v[0].toDouble(), v[1].toDouble(), v[2].toDouble(), v[3].toDouble());
    for (const auto &s : snapshots) {
      if (!s.screenFrame.intersects(r))
        continue;
      try {
        const QImage crop = s.crop(r);
        const QString file = out.filePath(QStringLiteral("crop-%1.png").arg(s.displayID));
        std::printf("crop of display %u: %dx%d -> %s\n", s.displayID, crop.width(), crop.height(), qPrintable(file));
        if (!crop.save(file)) {
          std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
          return 1;
        }
      } catch (const crel::CrelError &e) {
        std::printf("crop of display %u: %s\n", s.displayID, e.what());
      }
    }
  }
  return 0;
}
