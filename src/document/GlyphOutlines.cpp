#include "GlyphOutlines.h"

#include <QCoreApplication>
#include <QGlyphRun>
#include <QRawFont>
#include <QThread>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <list>

namespace crel {

namespace {

// Qt fills glyphs larger than this (device pixels, square root of the area)
// from their outlines, and synthesises bold only below it.
constexpr double largestCachedGlyph = 64;

// The tables FreeType reads to load outlines the way Qt's engine does
// (hinting programs included); none of the layout or bitmap tables.
constexpr const char *outlineTables[] = {"OS/2", "cmap", "cvt ", "fpgm", "gasp", "glyf", "head", "hhea", "hmtx",
                                         "loca", "maxp", "name", "post", "prep", "CFF ", "vhea", "vmtx"};
// A font with any of these draws glyphs that are not plain outlines, or
// (variations) in a shape the copy would not keep.
constexpr const char *unsupportedTables[] = {"fvar", "CFF2", "COLR", "CBDT", "sbix", "SVG "};

void appendBigEndian(QByteArray &out, quint32 value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
    out.append(char((value >> shift) & 0xff));
}

// A font file holding the outline tables of `font`, or empty when it has
// none to hold.
QByteArray outlineFont(const QRawFont &font) {
  for (const char *tag : unsupportedTables)
    if (!font.fontTable(tag).isEmpty())
      return {};
  struct Table {
    QByteArray tag, data;
  };
  std::vector<Table> tables;
  for (const char *tag : outlineTables) {
    QByteArray data = font.fontTable(tag);
    if (!data.isEmpty())
      tables.push_back({tag, std::move(data)});
  }
  const auto has = [&](const char *tag) {
    return std::any_of(tables.begin(), tables.end(), [&](const Table &t) { return t.tag == tag; });
  };
  const bool cff = has("CFF ");
  if (!has("head") || !has("maxp") || !(cff || (has("glyf") && has("loca"))))
    return {};
  // Table records sorted by tag, as the format requires; the data follows,
  // each table on a 4-byte boundary.
  std::sort(tables.begin(), tables.end(), [](const Table &a, const Table &b) { return a.tag < b.tag; });
  const auto count = quint32(tables.size());
  quint32 power = 1, log = 0;
  while (power * 2 <= count) {
    power *= 2;
    ++log;
  }
  QByteArray out;
  appendBigEndian(out, cff ? 0x4f54544fu /* OTTO */ : 0x00010000u, 4);
  appendBigEndian(out, count, 2);
  appendBigEndian(out, power * 16, 2);
  appendBigEndian(out, log, 2);
  appendBigEndian(out, count * 16 - power * 16, 2);
  quint32 offset = 12 + count * 16;
  for (const Table &t : tables) {
    out.append(t.tag);
    appendBigEndian(out, 0, 4); // checksum: FreeType does not check it
    appendBigEndian(out, offset, 4);
    appendBigEndian(out, quint32(t.data.size()), 4);
    offset += (quint32(t.data.size()) + 3) & ~3u;
  }
  for (const Table &t : tables) {
    out.append(t.data);
    out.append(QByteArray((4 - t.data.size() % 4) % 4, '\0'));
  }
  return out;
}

// Private copies of the fonts runs were drawn in: one per font file, and
// one per size of it. A copy is valid or, for a font that cannot be copied,
// invalid, which is remembered too.
class Copies {
public:
  QRawFont sized(const QRawFont &font) {
    for (auto it = sized_.begin(); it != sized_.end(); ++it)
      if (it->first == font) {
        sized_.splice(sized_.begin(), sized_, it);
        return it->second;
      }
    QRawFont copy = face(font);
    if (copy.isValid())
      copy.setPixelSize(font.pixelSize());
    sized_.emplace_front(font, copy);
    if (sized_.size() > maxSized)
      sized_.pop_back();
    return copy;
  }

private:
  QRawFont face(const QRawFont &font) {
    // The tables that differ between any two font files in practice.
    const QByteArray key = font.fontTable("head") + font.fontTable("hhea") + font.fontTable("maxp") +
                           font.familyName().toUtf8() + '\0' + font.styleName().toUtf8();
    for (auto it = faces_.begin(); it != faces_.end(); ++it)
      if (it->first == key) {
        faces_.splice(faces_.begin(), faces_, it);
        return it->second;
      }
    const QByteArray data = outlineFont(font);
    const QRawFont copy = data.isEmpty() ? QRawFont() : QRawFont(data, font.pixelSize(), QFont::PreferNoHinting);
    faces_.emplace_front(key, copy);
    if (faces_.size() > maxFaces)
      faces_.pop_back();
    return copy;
  }

  // A copy holds a whole font's outlines (megabytes for a CJK font): few are kept.
  static constexpr std::size_t maxSized = 8, maxFaces = 4;
  std::list<std::pair<QRawFont, QRawFont>> sized_;
  std::list<std::pair<QByteArray, QRawFont>> faces_;
};

// The GUI thread's copies, let go before the application takes its fonts
// down; other threads copy afresh each time.
Copies *guiCopies() {
  const QCoreApplication *app = QCoreApplication::instance();
  if (!app || app->thread() != QThread::currentThread())
    return nullptr;
  static Copies *copies = [] {
    qAddPostRoutine([] {
      delete copies;
      copies = nullptr;
    });
    return new Copies;
  }();
  return copies;
}

} // namespace

bool GlyphOutlines::drawsAsOutlines(double pixelSize, const QTransform &deviceTransform) {
  return pixelSize >= largestCachedGlyph &&
         pixelSize * pixelSize * std::abs(deviceTransform.determinant()) > largestCachedGlyph * largestCachedGlyph;
}

std::optional<QPainterPath> GlyphOutlines::path(const QGlyphRun &run) {
  const QRawFont font = run.rawFont();
  if (!font.isValid())
    return std::nullopt;
  Copies *shared = guiCopies();
  Copies local;
  const QRawFont copy = (shared ? shared : &local)->sized(font);
  if (!copy.isValid())
    return std::nullopt;
  const QList<quint32> glyphs = run.glyphIndexes();
  const QList<QPointF> positions = run.positions();
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i)
    path.addPath(copy.pathForGlyph(glyphs[i]).translated(positions[i]));
  return path;
}

} // namespace crel
