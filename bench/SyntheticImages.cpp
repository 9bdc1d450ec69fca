#include "SyntheticImages.h"

#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace crel::bench {

namespace {

class Random {
public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  int range(int lo, int hi) { return lo + int(next() % std::uint64_t(hi - lo + 1)); }
  double unit() { return double(next() >> 11) / double(1ull << 53); }

private:
  std::uint64_t state_;
};

// Glyphs: a few anti-aliased strokes each, drawn once and stamped at whole
// pixel positions like a text renderer's glyph cache, so words repeat exactly.
class GlyphSet {
public:
  explicit GlyphSet(int height) : height_(height) {
    Random r(7);
    for (int g = 0; g < 48; ++g) {
      const int w = r.range(height / 3, height * 2 / 3);
      QImage mask(w, height, QImage::Format_ARGB32_Premultiplied);
      mask.fill(Qt::transparent);
      QPainter p(&mask);
      p.setRenderHint(QPainter::Antialiasing);
      p.setPen(QPen(Qt::black, height / 11.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      const bool tall = r.range(0, 3) == 0;
      const double top = tall ? height * 0.12 : height * 0.38;
      const double bottom = height * 0.78;
      QPainterPath path(QPointF(1.5 + r.unit() * (w - 3), top + r.unit() * (bottom - top)));
      for (int s = r.range(1, 3); s > 0; --s)
        path.cubicTo(QPointF(r.unit() * w, top + r.unit() * (bottom - top)),
                     QPointF(r.unit() * w, top + r.unit() * (bottom - top)),
                     QPointF(1.5 + r.unit() * (w - 3), top + r.unit() * (bottom - top)));
      p.drawPath(path);
      p.end();
      masks_.push_back(mask);
    }
  }

  int height() const { return height_; }

  // Draws words of random glyphs until maxWidth; returns the width used.
  int drawLine(QPainter &p, int x, int y, int maxWidth, QColor colour, Random &r) {
    int at = 0;
    while (at < maxWidth) {
      const int letters = r.range(2, 9);
      int wordWidth = 0;
      std::vector<int> word;
      for (int i = 0; i < letters; ++i) {
        // Skewed choice: some letters are far more common, as in prose.
        const int g = int(std::pow(r.unit(), 1.8) * double(masks_.size()));
        word.push_back(g);
        wordWidth += masks_[std::size_t(g)].width() - height_ / 10;
      }
      if (at + wordWidth > maxWidth)
        break;
      for (int g : word) {
        const QImage &glyph = tinted(g, colour);
        p.drawImage(x + at, y, glyph);
        at += glyph.width() - height_ / 10;
      }
      at += height_ / 3;
    }
    return at;
  }

private:
  const QImage &tinted(int g, QColor colour) {
    const quint64 key = (quint64(colour.rgba()) << 8) | quint64(g);
    auto it = cache_.find(key);
    if (it == cache_.end()) {
      QImage img = masks_[std::size_t(g)];
      QPainter p(&img);
      p.setCompositionMode(QPainter::CompositionMode_SourceIn);
      p.fillRect(img.rect(), colour);
      p.end();
      it = cache_.insert(key, img);
    }
    return *it;
  }

  int height_;
  std::vector<QImage> masks_;
  QHash<quint64, QImage> cache_;
};

void window(QPainter &p, const QRect &r, const QString &title, GlyphSet &glyphs, bool dark) {
  // Soft shadow: stacked translucent rounded rectangles.
  p.setPen(Qt::NoPen);
  for (int i = 12; i > 0; --i) {
    p.setBrush(QColor(0, 0, 0, 6));
    p.drawRoundedRect(r.adjusted(-i * 3, -i * 2, i * 3, i * 4), 24 + i * 2, 24 + i * 2);
  }
  p.setBrush(dark ? QColor(30, 30, 32) : QColor(248, 248, 250));
  p.drawRoundedRect(r, 22, 22);
  QLinearGradient bar(r.topLeft(), r.topLeft() + QPoint(0, 64));
  bar.setColorAt(0, dark ? QColor(58, 58, 62) : QColor(236, 236, 238));
  bar.setColorAt(1, dark ? QColor(44, 44, 48) : QColor(216, 216, 220));
  QPainterPath titleBar;
  titleBar.addRoundedRect(QRectF(r.x(), r.y(), r.width(), 88), 22, 22);
  p.setClipRect(QRect(r.x(), r.y(), r.width(), 64));
  p.setBrush(bar);
  p.drawPath(titleBar);
  p.setClipping(false);
  const QColor lights[3] = {QColor(255, 95, 87), QColor(254, 188, 46), QColor(40, 200, 64)};
  for (int i = 0; i < 3; ++i) {
    p.setBrush(lights[i]);
    p.drawEllipse(QPointF(r.x() + 40 + i * 40, r.y() + 32), 12.5, 12.5);
  }
  Random titleRandom(qHash(title));
  glyphs.drawLine(p, r.center().x() - 220, r.y() + 16, 440, dark ? QColor(200, 200, 204) : QColor(60, 60, 64),
                  titleRandom);
}

} // namespace

QImage uiScreenshot(int width, int height) {
  QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::black);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  Random rnd(42);
  GlyphSet glyphs(30);

  QLinearGradient wallpaper(0, 0, width, height);
  wallpaper.setColorAt(0, QColor(24, 52, 96));
  wallpaper.setColorAt(0.55, QColor(92, 60, 128));
  wallpaper.setColorAt(1, QColor(196, 110, 120));
  p.fillRect(img.rect(), wallpaper);
  // Large soft shapes on the wallpaper.
  for (int i = 0; i < 6; ++i) {
    QRadialGradient blob(QPointF(rnd.unit() * width, rnd.unit() * height), 400 + rnd.unit() * 600);
    blob.setColorAt(0, QColor(255, 255, 255, 40));
    blob.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(img.rect(), blob);
  }

  // A document window with a sidebar and paragraphs.
  const QRect doc(160, 140, 2900, 2000);
  window(p, doc, "Document", glyphs, false);
  const QRect sidebar(doc.x(), doc.y() + 64, 460, doc.height() - 64 - 22);
  p.fillRect(sidebar, QColor(236, 236, 241));
  for (int i = 0; i < 30; ++i) {
    const int y = sidebar.y() + 30 + i * 60;
    if (y + 60 > sidebar.bottom())
      break;
    const bool selected = i == 4;
    if (selected) {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(10, 110, 230));
      p.drawRoundedRect(QRect(sidebar.x() + 14, y - 8, sidebar.width() - 28, 52), 10, 10);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromHsv((i * 37) % 360, 160, 220));
    p.drawRoundedRect(QRectF(sidebar.x() + 30, y, 34, 34), 8, 8);
    glyphs.drawLine(p, sidebar.x() + 84, y + 2, 300 - (i % 5) * 30, selected ? Qt::white : QColor(40, 40, 44), rnd);
  }
  // Toolbar with gradient buttons.
  for (int i = 0; i < 7; ++i) {
    const QRectF b(doc.x() + 520 + i * 170, doc.y() + 90, 150, 54);
    QLinearGradient g(b.topLeft(), b.bottomLeft());
    g.setColorAt(0, QColor(255, 255, 255));
    g.setColorAt(1, QColor(228, 228, 232));
    p.setBrush(g);
    p.setPen(QPen(QColor(190, 190, 196), 1.5));
    p.drawRoundedRect(b, 10, 10);
    Random label(100 + i);
    glyphs.drawLine(p, int(b.x()) + 20, int(b.y()) + 12, 110, QColor(50, 50, 54), label);
  }
  int y = doc.y() + 190;
  for (int para = 0; y < doc.bottom() - 120; ++para) {
    const bool heading = para % 4 == 0;
    const int lines = heading ? 1 : rnd.range(3, 8);
    for (int l = 0; l < lines && y < doc.bottom() - 80; ++l) {
      const int w = l == lines - 1 && !heading ? rnd.range(600, 2000) : 2300;
      glyphs.drawLine(p, doc.x() + 540, y, w, heading ? QColor(20, 20, 24) : QColor(52, 52, 58), rnd);
      y += heading ? 58 : 44;
    }
    y += 30;
    if (para == 5) {
      // An inline chart: gradient bars with anti-aliased tops.
      for (int b = 0; b < 12; ++b) {
        const double bh = 80 + rnd.unit() * 220;
        QRectF bar(doc.x() + 560 + b * 120, y + 320 - bh, 80, bh);
        QLinearGradient g(bar.topLeft(), bar.bottomLeft());
        g.setColorAt(0, QColor(80, 160, 250));
        g.setColorAt(1, QColor(30, 90, 200));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(bar, 8, 8);
      }
      y += 360;
    }
  }

  // A dark code editor with coloured tokens and line numbers.
  const QRect code(2700, 900, 2300, 1700);
  window(p, code, "Code", glyphs, true);
  const QColor tokens[] = {QColor(86, 156, 214),  QColor(206, 145, 120), QColor(220, 220, 170),
                           QColor(156, 220, 254), QColor(106, 153, 85),  QColor(212, 212, 212)};
  for (int l = 0; l < 36; ++l) {
    const int ly = code.y() + 100 + l * 42;
    Random number(1000 + l);
    glyphs.drawLine(p, code.x() + 30, ly, 60, QColor(110, 110, 110), number);
    int x = code.x() + 140 + (l % 6) * 40;
    for (int t = rnd.range(1, 6); t > 0; --t) {
      const int w = rnd.range(80, 380);
      x += glyphs.drawLine(p, x, ly, w, tokens[rnd.range(0, 5)], rnd) + 20;
      if (x > code.right() - 400)
        break;
    }
  }

  // A chat window with bubbles.
  const QRect chat(600, 1900, 1500, 820);
  window(p, chat, "Chat", glyphs, false);
  for (int i = 0; i < 6; ++i) {
    const bool mine = i % 2 == 1;
    const int bw = rnd.range(500, 1000);
    const QRectF bubble(mine ? chat.right() - 40 - bw : chat.x() + 40, chat.y() + 100 + i * 115, bw, 90);
    p.setPen(Qt::NoPen);
    p.setBrush(mine ? QColor(0, 122, 255) : QColor(229, 229, 234));
    p.drawRoundedRect(bubble, 36, 36);
    glyphs.drawLine(p, int(bubble.x()) + 36, int(bubble.y()) + 28, bw - 72, mine ? Qt::white : Qt::black, rnd);
  }

  // Taskbar: translucent strip with gradient icons.
  p.fillRect(QRect(0, height - 110, width, 110), QColor(20, 20, 24, 170));
  for (int i = 0; i < 14; ++i) {
    const QPointF c(width / 2.0 - 7 * 100 + i * 100 + 50, height - 55);
    QRadialGradient g(c - QPointF(10, 10), 50);
    g.setColorAt(0, QColor::fromHsv((i * 53) % 360, 120, 255));
    g.setColorAt(1, QColor::fromHsv((i * 53) % 360, 220, 170));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(c.x() - 38, c.y() - 38, 76, 76), 18, 18);
  }

  // Annotations as a user would add them.
  p.setPen(QPen(QColor(235, 40, 40), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(700, 560, 1400, 300), 12, 12);
  p.drawEllipse(QRectF(3300, 1300, 900, 340));
  const QPointF tail(2300, 2500), head(2960, 1700);
  p.drawLine(tail, head);
  const double angle = std::atan2(head.y() - tail.y(), head.x() - tail.x());
  QPolygonF arrow;
  arrow << head << head - QPointF(std::cos(angle - 0.45) * 70, std::sin(angle - 0.45) * 70)
        << head - QPointF(std::cos(angle + 0.45) * 70, std::sin(angle + 0.45) * 70);
  p.setBrush(QColor(235, 40, 40));
  p.drawPolygon(arrow);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 230, 0, 90));
  p.drawRect(QRectF(700, 1200, 1800, 46));
  p.end();
  return img;
}

QImage photo(int width, int height) {
  QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
  struct Octave {
    int cell;
    double weight;
  };
  const Octave octaves[] = {{640, 0.55}, {160, 0.25}, {40, 0.13}, {10, 0.07}};
  // Lattice values per octave and channel.
  std::vector<std::vector<float>> lattice;
  std::vector<int> strides;
  Random rnd(2024);
  for (const Octave &o : octaves) {
    const int gw = width / o.cell + 2, gh = height / o.cell + 2;
    for (int c = 0; c < 3; ++c) {
      std::vector<float> values(std::size_t(gw) * std::size_t(gh));
      for (float &v : values)
        v = float(rnd.unit());
      lattice.push_back(std::move(values));
      strides.push_back(gw);
    }
  }
  auto smooth = [](double t) { return t * t * (3 - 2 * t); };
  for (int y = 0; y < height; ++y) {
    QRgb *row = reinterpret_cast<QRgb *>(img.scanLine(y));
    for (int x = 0; x < width; ++x) {
      double channel[3] = {0, 0, 0};
      for (int o = 0; o < 4; ++o) {
        const int cell = octaves[o].cell;
        const int gx = x / cell, gy = y / cell;
        const double fx = smooth(double(x % cell) / cell), fy = smooth(double(y % cell) / cell);
        for (int c = 0; c < 3; ++c) {
          const std::vector<float> &v = lattice[std::size_t(o * 3 + c)];
          const int s = strides[std::size_t(o * 3 + c)];
          const std::size_t i = std::size_t(gy) * std::size_t(s) + std::size_t(gx);
          const double top = v[i] + (v[i + 1] - v[i]) * fx;
          const double bottom = v[i + std::size_t(s)] + (v[i + std::size_t(s) + 1] - v[i + std::size_t(s)]) * fx;
          channel[c] += octaves[o].weight * (top + (bottom - top) * fy);
        }
      }
      // Sensor grain of a few levels, as every real photograph has.
      const std::uint64_t h = (std::uint64_t(y) * 0x9e3779b97f4a7c15ull) ^ (std::uint64_t(x) * 0xc2b2ae3d27d4eb4full);
      const std::uint64_t g = (h ^ (h >> 29)) * 0xbf58476d1ce4e5b9ull;
      int rgb[3];
      for (int c = 0; c < 3; ++c) {
        const int grain = int((g >> (c * 8 + 16)) % 5) - 2;
        rgb[c] = std::clamp(int(std::lround(channel[c] * 255.0)) + grain, 0, 255);
      }
      row[x] = qRgb(rgb[0], rgb[1], rgb[2]);
    }
  }
  return img;
}

} // namespace crel::bench
