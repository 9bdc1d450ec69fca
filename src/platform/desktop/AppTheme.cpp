#include "AppTheme.h"

#include "platform/files/ResourceLocator.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QRadialGradient>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>
#include <vector>

namespace crel {

namespace {

// resources/brand.json compiled in, for programs run without a bundle.
constexpr char compiledBrand[] = ":/bundle/Resources/brand.json";

void drawGlow(QPainter &painter, const AppTheme::StageGlow &glow) {
  QColor inner = glow.color, outer = glow.color;
  inner.setAlphaF(float(glow.alpha));
  outer.setAlphaF(0);
  QRadialGradient gradient(QPointF(0, 0), 1);
  gradient.setColorAt(0, inner);
  gradient.setColorAt(1, outer);
  painter.save();
  painter.translate(glow.centre);
  painter.scale(glow.rx, glow.ry);
  // The outer stop is transparent, so filling the unit disc alone paints
  // exactly the gradient without extending it past its end.
  painter.setPen(Qt::NoPen);
  painter.setBrush(gradient);
  painter.drawEllipse(QPointF(0, 0), 1, 1);
  painter.restore();
}

} // namespace

QColor AppTheme::parseHex(const QString &text) {
  static const QRegularExpression pattern("^#[0-9A-Fa-f]{6}$");
  if (!pattern.match(text).hasMatch())
    return {};
  return QColor::fromString(text);
}

QColor AppTheme::blend(const QColor &color, double f, const QColor &toward) {
  auto mix = [f](float a, float b) { return float((1 - f) * a + f * b); };
  return QColor::fromRgbF(mix(color.redF(), toward.redF()), mix(color.greenF(), toward.greenF()),
                          mix(color.blueF(), toward.blueF()), mix(color.alphaF(), toward.alphaF()));
}

std::optional<AppTheme::Palette> AppTheme::paletteFromBrand(const QByteArray &json) {
  const QJsonDocument document = QJsonDocument::fromJson(json);
  if (!document.isObject())
    return std::nullopt;
  const QJsonObject brand = document.object();
  const QJsonValue primaryText = brand.value("primaryColor"), neutralText = brand.value("neutralColor");
  const QJsonValue accentText = brand.value("accentColor");
  if (!primaryText.isString() || !neutralText.isString())
    return std::nullopt;
  Palette palette;
  palette.primary = parseHex(primaryText.toString());
  palette.neutral = parseHex(neutralText.toString());
  if (!palette.primary.isValid() || !palette.neutral.isValid())
    return std::nullopt;
  if (accentText.isUndefined() || accentText.isNull()) {
    palette.wash = blend(palette.neutral, 0.16, palette.primary);
  } else {
    palette.wash = accentText.isString() ? parseHex(accentText.toString()) : QColor();
    if (!palette.wash.isValid())
      return std::nullopt;
  }
  palette.stage = blend(blend(palette.neutral, 0.035, palette.primary), 0.025, Qt::black);
  return palette;
}

const AppTheme::Palette &AppTheme::palette() {
  static const Palette palette = [] {
    QString path = ResourceLocator::resourcePath("brand", "json");
    if (path.isEmpty())
      path = compiledBrand;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
      qFatal("brand resource: cannot read %s", qPrintable(path));
    const auto read = paletteFromBrand(file.readAll());
    if (!read)
      qFatal("brand resource: %s is not a valid brand", qPrintable(path));
    return *read;
  }();
  return palette;
}

QColor AppTheme::primary() { return palette().primary; }

QColor AppTheme::neutral() { return palette().neutral; }
QColor AppTheme::wash() { return palette().wash; }
QColor AppTheme::stage() { return palette().stage; }

namespace {

// The glows are faint: drawn in 8 bits per channel they step in visible
// rings. So the stage is computed per pixel in floating point (a radial
// gradient between two stops of one colour is a linear fade of its alpha
// over the ellipse) and ordered-dithered down, in row bands on every core,
// once per size, orientation and pixel ratio; it is copied after that. The
// dither pattern is anchored at the rectangle's top edge, so a flipped and an
// unflipped stage mirror each other pixel for pixel.
QImage renderStage(QSizeF size, bool flipped, double dpr) {
  const QSize pixels(std::max(1, int(std::ceil(size.width() * dpr))), std::max(1, int(std::ceil(size.height() * dpr))));
  QImage out(pixels, QImage::Format_RGB32);
  struct Glow {
    double cx, cy, rx, ry, alpha, rgb[3];
  };
  std::vector<Glow> glows;
  for (const AppTheme::StageGlow &g : AppTheme::stageGlows(QRectF(QPointF(0, 0), size), flipped)) {
    const QColor c = g.color.toRgb();
    glows.push_back({g.centre.x(), g.centre.y(), g.rx, g.ry, g.alpha, {c.redF(), c.greenF(), c.blueF()}});
  }
  const QColor stage = AppTheme::stage().toRgb();
  const double base[3] = {stage.redF(), stage.greenF(), stage.blueF()};
  // Rows are written through one pointer taken here: QImage::scanLine()
  // may detach, which threads must not race on.
  uchar *bits = out.bits();
  const qsizetype stride = out.bytesPerLine();
  auto rows = [&](int from, int to) {
    static constexpr int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    for (int y = from; y < to; ++y) {
      auto *row = reinterpret_cast<QRgb *>(bits + y * stride);
      const double ly = (y + 0.5) / dpr;
      const int fromTop = flipped ? y : pixels.height() - 1 - y;
      for (int x = 0; x < pixels.width(); ++x) {
        const double lx = (x + 0.5) / dpr;
        double c[3] = {base[0], base[1], base[2]};
        for (const Glow &g : glows) {
          const double dx = (lx - g.cx) / g.rx, dy = (ly - g.cy) / g.ry;
          const double t = std::sqrt(dx * dx + dy * dy);
          if (t >= 1)
            continue;
          const double a = g.alpha * (1 - t);
          for (int k = 0; k < 3; ++k)
            c[k] += (g.rgb[k] - c[k]) * a;
        }
        const double threshold = (bayer[fromTop & 3][x & 3] + 0.5) / 16;
        auto q = [threshold](double v) { return std::clamp(int(v * 255 + threshold), 0, 255); };
        row[x] = qRgb(q(c[0]), q(c[1]), q(c[2]));
      }
    }
  };
  const int bands = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
  const int per = (pixels.height() + bands - 1) / bands;
  std::vector<std::thread> workers;
  int band = 1;
  for (; band < bands && band * per < pixels.height(); ++band) {
    try {
      workers.emplace_back(rows, band * per, std::min(pixels.height(), (band + 1) * per));
    } catch (const std::system_error &) {
      break; // out of threads (memory short): this one paints the rest
    }
  }
  rows(0, std::min(pixels.height(), per));
  if (band * per < pixels.height())
    rows(band * per, pixels.height());
  for (std::thread &w : workers)
    w.join();
  out.setDevicePixelRatio(dpr);
  return out;
}

} // namespace

void AppTheme::drawStage(QPainter &painter, const QRectF &rect, bool flipped) {
  if (!painter.isActive() || rect.isEmpty())
    return;
  const QTransform t = painter.deviceTransform();
  if (t.isRotating()) {
    painter.fillRect(rect, stage());
    for (const StageGlow &glow : stageGlows(rect, flipped))
      drawGlow(painter, glow);
    return;
  }
  struct Rendered {
    QSizeF size;
    bool flipped;
    double dpr;
    QImage image;
  };
  // The editor's stage and the canvas's copy of its top band share a size;
  // two entries cover a window being resized between them.
  static std::array<Rendered, 2> cache;
  const double dpr = std::max(std::abs(t.m11()), std::abs(t.m22()));
  auto hit = std::find_if(cache.begin(), cache.end(), [&](const Rendered &r) {
    return r.size == rect.size() && r.flipped == flipped && r.dpr == dpr && !r.image.isNull();
  });
  if (hit == cache.end()) {
    std::swap(cache[0], cache[1]);
    cache[0] = {rect.size(), flipped, dpr, renderStage(rect.size(), flipped, dpr)};
    hit = cache.begin();
  }
  painter.drawImage(rect, hit->image, QRectF(0, 0, rect.width() * dpr, rect.height() * dpr));
}

std::array<AppTheme::StageGlow, 2> AppTheme::stageGlows(const QRectF &rect, bool flipped) {
  const double w = rect.width(), h = rect.height();
  const double top = flipped ? rect.top() : rect.bottom();
  const double down = flipped ? 1 : -1;
  auto glow = [&](double fx, double fy, double frx, double fry, QColor color, double alpha) {
    return StageGlow{
        {rect.left() + fx * w, top + down * fy * h}, std::max(frx * w, 1.0), std::max(fry * h, 1.0), color, alpha};
  };
  return {glow(0.12, 0.2, 0.6, 0.62, primary(), 0.1), glow(0.9, 0.72, 0.62, 0.55, wash(), 0.85)};
}

} // namespace crel
