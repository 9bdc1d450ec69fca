#include "StylePreview.h"

#include "ArrowOutline.h"
#include "PreviewDomain.h"

#include "chrome/ChromeFonts.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/MarkPaths.h"
#include "platform/files/AtomicFileWriter.h"
#include "platform/files/FileError.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

namespace crel::StylePreview {

namespace {

void makeFolder(const QString &folder) {
  if (!QDir().mkpath(folder))
    throw std::runtime_error(QStringLiteral("Could not create the folder %1.").arg(folder).toStdString());
}

const Ink &paletteInk(qsizetype index) {
  const QList<Ink> &palette = Ink::palette();
  if (index >= palette.size())
    throw CrelError::rendering();
  return palette[index];
}

Mark sampleMark(MarkTool tool, QPointF start, QPointF end, double width, int ink = 0) {
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = tool;
  m.start = start;
  m.end = end;
  m.ink = paletteInk(ink);
  m.width = width;
  m.fontSize = 40;
  m.textBoxWidth = 320;
  return m;
}

QImage blankSheet(int width, int height, const QColor &fill) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull())
    throw CrelError::rendering();
  image.fill(fill);
  return image;
}

// Text whose line box starts at (x, y), as the sheets are laid out.
void drawText(QPainter &p, QPointF at, const QString &text, double pixelSize, QFont::Weight weight,
              const QColor &color) {
  p.setFont(ChromeFonts::font(pixelSize, weight));
  p.setPen(color);
  p.drawText(QRectF(at, QSizeF(10000, 1000)), Qt::AlignLeft | Qt::AlignTop, text);
}

void writePNG(const QString &path, const QByteArray &png) { AtomicFileWriter::write(path, png); }

QList<Mark> styleSheetMarks(AnnotationStyle style) {
  const auto line = [] { return AnnotationPreferences::defaultWidth(MarkTool::line); };
  QList<Mark> marks{
      sampleMark(MarkTool::arrow, {55, 175}, {125, 175}, 32),
      sampleMark(MarkTool::arrow, {205, 195}, {365, 145}, 32),
      sampleMark(MarkTool::arrow, {480, 190}, {790, 155}, 32),
      sampleMark(MarkTool::arrow, {920, 120}, {865, 215}, 32),
      sampleMark(MarkTool::rectangle, {55, 285}, {265, 410}, line()),
      sampleMark(MarkTool::ellipse, {345, 285}, {560, 410}, line()),
      sampleMark(MarkTool::triangle, {640, 280}, {795, 415}, line()),
      sampleMark(MarkTool::line, {850, 400}, {940, 295}, line()),
  };
  Mark text = sampleMark(MarkTool::text, {55, 495}, {0, 0}, line());
  text.text = QStringLiteral("This is the detail.\nA clearer point.");
  text.fontSize = 32;
  text.textBoxWidth = 420;
  marks.append(text);
  Mark pen = sampleMark(MarkTool::pen, {590, 540}, {930, 540}, line());
  pen.points = {{590, 540}, {640, 510}, {695, 530}, {755, 500}, {805, 535}, {860, 520}, {930, 540}};
  marks.append(pen);
  for (Mark &m : marks)
    m.style = style;
  return marks;
}

void renderExtension(const QString &folder, SettingsStore &domain) {
  for (const bool dark : {false, true}) {
    QImage image = blankSheet(800, 460, dark ? QColor::fromRgbF(0.12f, 0.12f, 0.12f) : QColor(Qt::white));
    {
      QPainter p(&image);
      p.setRenderHint(QPainter::TextAntialiasing);
      p.fillRect(QRectF(0, 0, 800, 76), QColor::fromRgbF(0.2f, 0.4f, 0.78f));
      drawText(p, {32, 20}, QStringLiteral("Screenshot"), 25, QFont::DemiBold, Qt::white);
      const struct { double y, light, dark; } bands[] = {{105, 0.94, 0.19}, {203, 0.905, 0.225}, {301, 0.87, 0.26}};
      for (const auto &band : bands) {
        const float level = float(dark ? band.dark : band.light);
        p.fillRect(QRectF(0, band.y, 800, 80), QColor::fromRgbF(level, level, level));
      }
      drawText(p, {32, 125}, QStringLiteral("Original pixels stay intact."), 23, QFont::Medium,
               dark ? Qt::white : Qt::black);
    }
    QList<Mark> marks{sampleMark(MarkTool::arrow, {-145, 140}, {70, 140}, 24),
                      sampleMark(MarkTool::arrow, {940, 335}, {725, 335}, 24)};
    const struct {
      QPointF at;
      const char *text;
      double fontSize, boxWidth;
    } texts[] = {{{32, -85}, "Room to explain", 30, 420}, {{32, 495}, "One quiet surface on every side.", 24, 640}};
    for (const auto &t : texts) {
      Mark m = sampleMark(MarkTool::text, t.at, {0, 0}, 6);
      m.text = QString::fromUtf8(t.text);
      m.fontSize = t.fontSize;
      m.textBoxWidth = t.boxWidth;
      marks.append(m);
    }
    for (Mark &m : marks)
      m.style = AnnotationStyle::formal;
    AnnotationPreferences preferences(domain);
    CrelDocument document(image, preferences);
    document.commit(marks);
    writePNG(QDir(folder).filePath(QStringLiteral("extension-%1.png").arg(dark ? "dark" : "light")),
             document.renderPNG());
  }
}

} // namespace

void render(const QString &folder) {
  makeFolder(folder);
  PreviewDomain domain(QStringLiteral("style-preview-"));
  for (const AnnotationStyle style : {AnnotationStyle::formal, AnnotationStyle::doodle}) {
    QImage image = blankSheet(1000, 640, Qt::white);
    {
      QPainter p(&image);
      p.setRenderHint(QPainter::TextAntialiasing);
      drawText(p, {45, 30}, label(style), 26, QFont::DemiBold, Qt::black);
      drawText(p, {45, 73}, QStringLiteral("12 px arrows, short to long. Shapes and freehand at 6 px."), 16,
               QFont::Normal, Qt::darkGray);
    }
    AnnotationPreferences preferences(domain.store());
    CrelDocument document(image, preferences);
    document.commit(styleSheetMarks(style));
    writePNG(QDir(folder).filePath(rawValue(style) + QStringLiteral(".png")), document.renderPNG());
  }
  renderExtension(folder, domain.store());
}

void exportArrowSVG(const QString &file) {
  Mark arrow = sampleMark(MarkTool::arrow, {0, 0}, {240, 0}, 32, 1);
  arrow.style = AnnotationStyle::formal;
  const QByteArray text = ArrowOutline::svg(path(arrow));
  makeFolder(QFileInfo(file).absolutePath());
  AtomicFileWriter::write(file, text);
}

} // namespace crel::StylePreview
