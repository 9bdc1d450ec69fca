// Renders the application icon's SVG to the PNG sizes desktops look up, as
// the build assembles the bundle: crel-render-icon ICON.svg OUT-FOLDER writes
// OUT-FOLDER/<N>x<N>/apps/crel.png for every size.
#include "ToolUsage.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

#include <array>
#include <cstdio>

int main(int argc, char *argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList arguments = app.arguments().mid(1);
  if (arguments.size() != 2 || crel::tools::wantsUsage(arguments))
    return crel::tools::printUsage("usage: crel-render-icon ICON.svg OUT-FOLDER\n");
  QSvgRenderer svg(arguments[0]);
  if (!svg.isValid()) {
    std::fprintf(stderr, "crel-render-icon: cannot read %s\n", qPrintable(arguments[0]));
    return 1;
  }
  for (const int side : std::array{16, 32, 48, 64, 128, 256}) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      svg.render(&painter, QRectF(0, 0, side, side));
    }
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(arguments[1]).arg(side);
    QSaveFile file(folder + QStringLiteral("/crel.png"));
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
      std::fprintf(stderr, "crel-render-icon: cannot write %s\n", qPrintable(file.fileName()));
      return 1;
    }
  }
  return 0;
}
