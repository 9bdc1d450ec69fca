// crel-render <folder>: paints every mark tool in both annotation styles,
// unrotated and turned by 30°, plus a constrained doodle arrow and
// highlights over light and dark backgrounds, one PNG each, and a contact
// sheet of them all (gallery.png). A dashed line shows each mark's visual
// bounds so the geometry can be checked by eye.

#include "../ToolUsage.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/MarkDrawing.h"
#include "document/MarkGeometry.h"
#include "document/MarkPaths.h"

#include "platform/files/JsonReader.h"
#include "platform/files/SettingsStore.h"
#include "platform/image/ImageDecoder.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QUuid>

#include <cmath>
#include <cstdio>
#include <numbers>

using namespace crel;

namespace {

constexpr int tileWidth = 360, tileHeight = 240;

Mark baseMark(MarkTool tool, AnnotationStyle style) {
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = tool;
  m.ink = Ink::palette()[0];
  m.width = 8;
  m.fontSize = 28;
  m.textBoxWidth = 260;
  m.style = style;
  m.start = {60, 60};
  m.end = {300, 180};
  return m;
}

Mark sampleMark(MarkTool tool, AnnotationStyle style) {
  Mark m = baseMark(tool, style);
  switch (tool) {
  case MarkTool::arrow:
    m.start = {60, 180};
    m.end = {300, 60};
    m.width = 14;
    break;
  case MarkTool::pen:
    for (int i = 0; i <= 24; ++i)
      m.points.append({60 + i * 10.0, 120 + 50 * std::sin(i / 3.0)});
    break;
  case MarkTool::text:
    m.start = {50, 50};
    m.text = "Annotate me: this text wraps in its box";
    break;
  case MarkTool::highlight:
    m.highlightMode = HighlightMode::marker;
    m.ink = Ink::lemon();
    m.width = 24;
    m.start = {50, 100};
    m.points = {{50, 100}, {150, 96}, {310, 104}};
    break;
  case MarkTool::redact:
    m.start = {80, 90};
    m.end = {280, 150};
    break;
  case MarkTool::step:
    m.start = {180, 120};
    m.width = 64;
    m.number = 3;
    m.ink = Ink::palette()[1];
    break;
  default: break;
  }
  return m;
}

// Something screenshot-like beneath the marks: lines of "text" bars.
void paintBackdrop(QPainter &p, QSize size, bool dark) {
  p.fillRect(QRect(QPoint(), size), dark ? QColor(28, 30, 34) : QColor(250, 250, 248));
  const QColor bar = dark ? QColor(200, 204, 210) : QColor(60, 64, 70);
  for (int y = 30; y < size.height() - 20; y += 36)
    for (int x = 24, i = 0; x < size.width() - 40; x += 60 + (i * 17) % 40, ++i)
      p.fillRect(QRectF(x, y, 40 + (i * 23) % 30, 10), bar);
}

void paintVisualBounds(QPainter &p, const Mark &m) {
  const geom::Rect v = localVisualBounds(m);
  if (v.isNull())
    return;
  p.save();
  p.setTransform(rotationTransform(m), true);
  p.setPen(QPen(QColor(0, 150, 220), 1, Qt::DashLine));
  p.setBrush(Qt::NoBrush);
  p.drawRect(v.toQRectF());
  p.restore();
}

QImage renderTile(const QList<Mark> &marks, bool dark, bool showBounds = true) {
  QImage image(tileWidth, tileHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  paintBackdrop(p, image.size(), dark);
  for (const Mark &m : marks) {
    draw(p, m);
    if (showBounds)
      paintVisualBounds(p, m);
  }
  return image;
}

struct Entry {
  QString name;
  QImage image;
};

// Flattens a screenshot and a JSON list of marks onto the grown canvas.
int renderDocument(const QString &imagePath, const QString &marksPath, const QString &outPath) {
  const QImage image = ImageDecoder::read(imagePath);
  if (image.isNull()) {
    std::fprintf(stderr, "cannot read the image %s: %s\n", qPrintable(imagePath),
                 qPrintable(CrelError::invalidImage().errorDescription()));
    return 1;
  }
  QFile marksFile(marksPath);
  if (!marksFile.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "cannot read %s\n", qPrintable(marksPath));
    return 1;
  }
  try {
    const QList<Mark> marks = Mark::decodeList(json::parse(marksFile.readAll()));
    QTemporaryDir settingsDir;
    SettingsStore store(settingsDir.filePath("settings.ini"));
    AnnotationPreferences preferences(store);
    CrelDocument document(image, preferences);
    document.commit(marks);
    const QByteArray png = document.renderPNG();
    QSaveFile out(outPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(png) != png.size() || !out.commit()) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(outPath));
      return 1;
    }
  } catch (const std::exception &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("CREL_BUNDLE_DIR"))
    qputenv("CREL_BUNDLE_DIR", CREL_RENDER_BUNDLE_DIR);
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() == 7 && args[1] == "--image" && args[3] == "--marks" && args[5] == "--out" &&
      !tools::wantsUsage({args[2], args[4], args[6]}))
    return renderDocument(args[2], args[4], args[6]);
  if (args.size() != 2 || tools::wantsUsage(args.mid(1)))
    return tools::printUsage("usage: crel-render <output folder>\n"
                             "       crel-render --image in.png --marks marks.json --out out.png\n");
  const QDir folder(args[1]);
  if (!QDir().mkpath(folder.path())) {
    std::fprintf(stderr, "cannot create %s\n", qPrintable(args[1]));
    return 1;
  }

  QList<Entry> entries;
  const MarkTool tools[] = {MarkTool::arrow, MarkTool::line, MarkTool::rectangle, MarkTool::ellipse, MarkTool::triangle,
                            MarkTool::pen,   MarkTool::text, MarkTool::highlight, MarkTool::redact,  MarkTool::step};
  for (MarkTool tool : tools)
    for (AnnotationStyle style : {AnnotationStyle::formal, AnnotationStyle::doodle})
      for (int degrees : {0, 30}) {
        Mark m = sampleMark(tool, style);
        m = rotated(m, degrees * std::numbers::pi / 180);
        entries.append(
            {QStringLiteral("%1-%2-%3").arg(rawValue(tool), rawValue(style)).arg(degrees), renderTile({m}, false)});
      }

  Mark constrained = sampleMark(MarkTool::arrow, AnnotationStyle::doodle);
  constrained.constrained = true;
  entries.append({"arrow-doodle-constrained", renderTile({constrained}, false)});

  // A thick arrow shows the rounded tip, barbs and tail up close.
  Mark thick = baseMark(MarkTool::arrow, AnnotationStyle::formal);
  thick.start = {30, 120};
  thick.end = {330, 120};
  thick.width = 32;
  entries.append({"arrow-formal-thick", renderTile({thick}, false)});

  for (bool dark : {false, true}) {
    Mark regions = baseMark(MarkTool::highlight, AnnotationStyle::formal);
    regions.ink = Ink::lemon();
    regions.highlightMode = HighlightMode::text;
    regions.regions = QList<geom::Rect>{{20, 24, 150, 22}, {20, 60, 220, 22}};
    regions.highlightDarkRegions = QList<bool>{dark, dark};
    Mark marker = sampleMark(MarkTool::highlight, AnnotationStyle::formal);
    marker.ink = Ink::palette()[2];
    marker.start = {30, 141};
    marker.points = {{30, 141}, {120, 137}, {320, 143}};
    marker.highlightDarkRegions = QList<bool>{dark};
    Mark area = baseMark(MarkTool::highlight, AnnotationStyle::formal);
    area.ink = Ink::palette()[0];
    area.highlightMode = HighlightMode::area;
    area.start = {40, 168};
    area.end = {330, 212};
    area.highlightDarkRegions = QList<bool>{dark};
    entries.append({dark ? "highlight-dark" : "highlight-light", renderTile({regions, marker, area}, dark, false)});
  }

  const int columns = 4;
  const int rows = int((entries.size() + columns - 1) / columns);
  QImage sheet(columns * (tileWidth + 8), rows * (tileHeight + 8), QImage::Format_ARGB32_Premultiplied);
  sheet.fill(QColor(120, 120, 120));
  QPainter sheetPainter(&sheet);
  for (int i = 0; i < entries.size(); ++i) {
    const Entry &e = entries[i];
    const QString file = folder.filePath(e.name + ".png");
    if (!e.image.save(file)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
    const QPoint at((i % columns) * (tileWidth + 8) + 4, (i / columns) * (tileHeight + 8) + 4);
    sheetPainter.drawImage(at, e.image);
    sheetPainter.setPen(Qt::black);
    sheetPainter.drawText(at + QPoint(6, tileHeight - 6), e.name);
  }
  sheetPainter.end();
  if (!sheet.save(folder.filePath("gallery.png"))) {
    std::fprintf(stderr, "cannot write the contact sheet\n");
    return 1;
  }
  std::printf("wrote %d images and gallery.png to %s\n", int(entries.size()), qPrintable(folder.path()));
  return 0;
}
