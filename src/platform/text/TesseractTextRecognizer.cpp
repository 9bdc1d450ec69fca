#include "TesseractTextRecognizer.h"

#include "platform/base/Translate.h"
#include "platform/text/TextRecognitionError.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <QScopeGuard>
#include <QThread>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace crel {

namespace {

// Light-on-dark areas are found on a grid of cells. A cell's background is
// the median of its pixels; its text is the pixels well above or below that.
// Over a cell's neighbourhood, the median background and which kind of text
// dominates decide: light text makes an area dark unless its background is
// very light, dark text makes it dark only on a near-black background, and
// an empty area is dark below mid-grey. So a blue selected row with white
// text is inverted, a grey button with black text is not.
constexpr int kCell = 8;
constexpr int kNeighbourhood = 2; // cells on each side: a 5 x 5 window
constexpr int kTextContrast = 48;
constexpr int kMinDarkSide = 16; // pixels; smaller dark areas hold no text line
constexpr int kMinLightTextPixels = 24;

// Strips: each keeps the lines whose centre falls in its core; the margin
// around the core lets any line up to twice its height be read whole.
constexpr int kStripMargin = 64;
constexpr int kMinStripCore = 200;
constexpr qint64 kSplitArea = 800'000;

constexpr int kResolution = 96;
constexpr float kMinWordConfidence = 30;
constexpr float kMinSymbolConfidence = 75;

void stopIfCancelled(const std::atomic<bool> &cancelled) {
  if (cancelled)
    throw TextRecognitionError(QStringLiteral("Cancelled."));
}

struct GrayImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels; // rows of `width` bytes
  std::uint8_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// Luminance of the image as if painted over a white page, converted row by
// row so that even an 80-megapixel image is not copied in colour.
GrayImage toGray(const QImage &image) {
  GrayImage out{image.width(), image.height(), {}};
  out.pixels.resize(std::size_t(out.width) * out.height);
  const bool direct = image.format() == QImage::Format_ARGB32_Premultiplied || image.format() == QImage::Format_RGB32 ||
                      image.format() == QImage::Format_ARGB32;
  const QImage source = direct ? image : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const bool premultiplied = source.format() != QImage::Format_ARGB32;
  for (int y = 0; y < out.height; ++y) {
    const auto *row = reinterpret_cast<const QRgb *>(source.constScanLine(y));
    std::uint8_t *target = out.pixels.data() + std::size_t(y) * out.width;
    for (int x = 0; x < out.width; ++x) {
      QRgb p = row[x];
      if (source.format() == QImage::Format_RGB32)
        p |= 0xff000000u;
      else if (!premultiplied)
        p = qPremultiply(p);
      const int white = 255 - qAlpha(p);
      target[x] = std::uint8_t(qGray(qRed(p) + white, qGreen(p) + white, qBlue(p) + white));
    }
  }
  return out;
}

struct CellMap {
  int columns = 0;
  int rows = 0;
  std::vector<std::uint8_t> dark;       // on a dark background, and so is the cell itself
  std::vector<std::uint8_t> darkAround; // on a dark background, whatever the cell (glyphs too)
  std::vector<std::uint8_t> level;      // the neighbourhood's background
  std::vector<std::uint16_t> lighter;   // pixels well above the cell's own background
  std::size_t index(int column, int row) const { return std::size_t(row) * columns + column; }
  bool isDark(int column, int row) const { return dark[index(column, row)]; }
  int levelAt(int column, int row) const { return level[index(column, row)]; }
};

CellMap classify(const GrayImage &gray) {
  CellMap map;
  map.columns = (gray.width + kCell - 1) / kCell;
  map.rows = (gray.height + kCell - 1) / kCell;
  const std::size_t cells = std::size_t(map.columns) * map.rows;
  std::vector<std::uint8_t> background(cells);
  std::vector<std::uint16_t> &lighter = map.lighter, darker(cells);
  lighter.resize(cells);
  std::vector<std::uint8_t> values;
  for (int row = 0; row < map.rows; ++row) {
    for (int column = 0; column < map.columns; ++column) {
      const int x0 = column * kCell, y0 = row * kCell;
      const int x1 = std::min(x0 + kCell, gray.width), y1 = std::min(y0 + kCell, gray.height);
      values.clear();
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
          values.push_back(gray.at(x, y));
      auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
      std::nth_element(values.begin(), middle, values.end());
      const int median = *middle;
      const std::size_t index = std::size_t(row) * map.columns + column;
      background[index] = std::uint8_t(median);
      for (std::uint8_t v : values) {
        lighter[index] += v > median + kTextContrast;
        darker[index] += v < median - kTextContrast;
      }
    }
  }
  map.dark.resize(cells);
  map.darkAround.resize(cells);
  map.level.resize(cells);
  for (int row = 0; row < map.rows; ++row) {
    for (int column = 0; column < map.columns; ++column) {
      const int r0 = std::max(0, row - kNeighbourhood), r1 = std::min(map.rows - 1, row + kNeighbourhood);
      const int c0 = std::max(0, column - kNeighbourhood), c1 = std::min(map.columns - 1, column + kNeighbourhood);
      values.clear();
      for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c)
          values.push_back(background[map.index(c, r)]);
      auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
      std::nth_element(values.begin(), middle, values.end());
      const int level = *middle;
      // Only cells on this background vote: a cell across the edge of an
      // area would count the other side as text.
      int light = 0, dark = 0;
      for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
          const std::size_t n = map.index(c, r);
          if (std::abs(int(background[n]) - level) < kTextContrast) {
            light += lighter[n];
            dark += darker[n];
          }
        }
      }
      const int limit = light > dark ? 200 : dark > light ? 60 : 128;
      // The cell itself must be on the dark background too, so that the
      // window does not bridge the light gap between two nearby dark areas.
      const std::size_t i = map.index(column, row);
      map.darkAround[i] = level < limit;
      map.dark[i] = level < limit && background[i] < limit;
      map.level[std::size_t(row) * map.columns + column] = std::uint8_t(level);
    }
  }
  return map;
}

// A 4-connected group of dark cells that holds some light text. Most are
// rectangles (title bars, selected rows, dark panels, buttons); their edges
// are then found to the pixel, so that text close to an edge is not cut by a
// cell-sized step. Other shapes follow their cells.
struct DarkArea {
  QRect rect;
  bool rectangular = false;
  int level = 0; // the median background of its cells
  int id = 0;
};

struct DarkAreas {
  std::vector<DarkArea> areas;
  std::vector<int> cellArea; // per cell: index into areas, or -1
};

// A row (or column) lies inside an area when most of its pixels are near the
// area's background.
// A cell of an area of another shape: one of its own cells, or a cell amid
// its background that no area claims (a cell filled by a large glyph).
bool belongsTo(const CellMap &map, const DarkAreas &dark, const DarkArea &area, int column, int row) {
  const int id = dark.cellArea[map.index(column, row)];
  return id == area.id || (id < 0 && map.darkAround[map.index(column, row)]);
}

bool mostlyNear(const GrayImage &gray, int level, int x0, int y0, int dx, int dy, int count) {
  int near = 0;
  for (int i = 0; i < count; ++i)
    near += std::abs(int(gray.at(x0 + i * dx, y0 + i * dy)) - level) < kTextContrast;
  return 2 * near > count;
}

// The first and last of the lines (rows or columns) from `first` to `last`
// that lie inside, each looked for within a cell of where the cells put it.
template <typename Inside> std::optional<std::pair<int, int>> insideSpan(int first, int last, int size, Inside inside) {
  int low = std::max(0, first - kCell);
  while (low < first + kCell && !inside(low))
    ++low;
  int high = std::min(size - 1, last + kCell);
  while (high > last - kCell && !inside(high))
    --high;
  if (high <= low)
    return std::nullopt;
  return std::pair{low, high};
}

void refineEdges(const GrayImage &gray, DarkArea &area) {
  QRect r = area.rect;
  const auto rows = insideSpan(r.top(), r.bottom(), gray.height,
                               [&](int y) { return mostlyNear(gray, area.level, r.left(), y, 1, 0, r.width()); });
  if (!rows)
    return;
  r.setTop(rows->first);
  r.setBottom(rows->second);
  const auto columns = insideSpan(r.left(), r.right(), gray.width,
                                  [&](int x) { return mostlyNear(gray, area.level, x, r.top(), 0, 1, r.height()); });
  if (!columns)
    return;
  r.setLeft(columns->first);
  r.setRight(columns->second);
  area.rect = r;
}

DarkAreas darkAreas(const GrayImage &gray, const CellMap &map) {
  DarkAreas result;
  result.cellArea.assign(map.dark.size(), -1);
  std::vector<std::uint8_t> seen(map.dark.size());
  std::vector<std::pair<int, int>> stack, members;
  std::vector<std::uint8_t> levels;
  for (int row = 0; row < map.rows; ++row) {
    for (int column = 0; column < map.columns; ++column) {
      if (!map.isDark(column, row) || seen[map.index(column, row)])
        continue;
      int minC = column, maxC = column, minR = row, maxR = row;
      long lightText = 0;
      seen[map.index(column, row)] = 1;
      stack.assign(1, {column, row});
      members.clear();
      while (!stack.empty()) {
        const auto [c, r] = stack.back();
        stack.pop_back();
        members.push_back({c, r});
        minC = std::min(minC, c), maxC = std::max(maxC, c), minR = std::min(minR, r), maxR = std::max(maxR, r);
        lightText += map.lighter[map.index(c, r)];
        const std::pair<int, int> next[] = {{c - 1, r}, {c + 1, r}, {c, r - 1}, {c, r + 1}};
        for (const auto &[nc, nr] : next) {
          if (nc < 0 || nr < 0 || nc >= map.columns || nr >= map.rows)
            continue;
          if (map.isDark(nc, nr) && !seen[map.index(nc, nr)]) {
            seen[map.index(nc, nr)] = 1;
            stack.push_back({nc, nr});
          }
        }
      }
      DarkArea area;
      area.rect = QRect(QPoint(minC * kCell, minR * kCell), QPoint(std::min((maxC + 1) * kCell, gray.width) - 1,
                                                                   std::min((maxR + 1) * kCell, gray.height) - 1));
      // Dark areas with no light text (photos, icons, dark rules) are not worth a pass.
      if (area.rect.width() < kMinDarkSide || area.rect.height() < kMinDarkSide || lightText < kMinLightTextPixels)
        continue;
      levels.clear();
      for (const auto &[c, r] : members)
        levels.push_back(std::uint8_t(map.levelAt(c, r)));
      std::nth_element(levels.begin(), levels.begin() + std::ptrdiff_t(levels.size() / 2), levels.end());
      area.level = levels[levels.size() / 2];
      const qint64 boxCells = qint64(maxC - minC + 1) * (maxR - minR + 1);
      area.rectangular = 10 * qint64(members.size()) >= 9 * boxCells;
      if (area.rectangular)
        refineEdges(gray, area);
      area.id = int(result.areas.size());
      for (const auto &[c, r] : members)
        result.cellArea[map.index(c, r)] = area.id;
      result.areas.push_back(area);
    }
  }
  return result;
}

// The text to read in the ordinary pass: dark areas blanked, so that they
// cost nothing there and cannot be read twice. Done in place, last.
void blankDarkAreas(GrayImage &gray, const CellMap &map, const DarkAreas &dark) {
  for (int y = 0; y < gray.height; ++y)
    for (int x = 0; x < gray.width; ++x)
      if (map.isDark(x / kCell, y / kCell) && dark.cellArea[map.index(x / kCell, y / kCell)] < 0)
        gray.pixels[std::size_t(y) * gray.width + x] = 255; // dark, but without text: no need to read
  for (const DarkArea &area : dark.areas) {
    for (int y = area.rect.top(); y <= area.rect.bottom(); ++y) {
      for (int x = area.rect.left(); x <= area.rect.right(); ++x) {
        if (area.rectangular || belongsTo(map, dark, area, x / kCell, y / kCell))
          gray.pixels[std::size_t(y) * gray.width + x] = 255;
      }
    }
  }
}

// One dark area, inverted and stretched so that its background turns white
// and its light text black (a mid-tone background left grey would be
// thresholded together with the text), inside a white frame of
// `kAreaFrame` pixels (Tesseract reads poorly right at an image's edge).
constexpr int kAreaFrame = 16;

std::shared_ptr<GrayImage> invertedArea(const GrayImage &gray, const CellMap &map, const DarkAreas &dark,
                                        const DarkArea &area) {
  auto out = std::make_shared<GrayImage>();
  out->width = area.rect.width() + 2 * kAreaFrame;
  out->height = area.rect.height() + 2 * kAreaFrame;
  out->pixels.assign(std::size_t(out->width) * out->height, 255);
  for (int y = 0; y < area.rect.height(); ++y) {
    for (int x = 0; x < area.rect.width(); ++x) {
      const int gx = area.rect.x() + x, gy = area.rect.y() + y;
      const int column = gx / kCell, row = gy / kCell;
      if (!area.rectangular && !belongsTo(map, dark, area, column, row))
        continue; // light cells inside the box belong to the ordinary pass
      const int level = area.rectangular ? area.level : map.levelAt(column, row);
      const int above = std::clamp(int(gray.at(gx, gy)) - level, 0, 255 - level);
      out->pixels[std::size_t(y + kAreaFrame) * out->width + x + kAreaFrame] =
          std::uint8_t(255 - above * 255 / std::max(1, 255 - level));
    }
  }
  return out;
}

// Small text (a 1x screen's 12-14 px fonts) is read far better enlarged:
// the engine's line recogniser loses short words and thin glyphs at that
// size. The height of the tall vertical ink runs (stems of glyphs) tells
// the text size without reading: sampled on every third column. A few runs
// are no evidence of text: lines, frames and dots enlarged read as letters.
constexpr int kMinStemRun = 2, kMaxStemRun = 64;
constexpr int kSmallStem = 11;
constexpr std::int64_t kMinStemRuns = 1000;

int enlargement(const GrayImage &gray, const CellMap &map) {
  std::vector<std::int64_t> runs(kMaxStemRun + 1);
  std::vector<int> run((gray.width + 2) / 3); // row by row, for the cache
  auto end = [&](int &length) {
    if (length >= kMinStemRun && length <= kMaxStemRun)
      ++runs[std::size_t(length)];
    length = 0;
  };
  for (int y = 0; y < gray.height; ++y) {
    for (int x = 0; x < gray.width; x += 3) {
      int &length = run[std::size_t(x / 3)];
      if (std::abs(int(gray.at(x, y)) - map.levelAt(x / kCell, y / kCell)) >= kTextContrast)
        ++length;
      else
        end(length);
    }
  }
  for (int &length : run)
    end(length);
  std::int64_t total = 0;
  for (auto n : runs)
    total += n;
  if (total < kMinStemRuns)
    return 1;
  // Most short runs are crossbars and edges; the tall ones are the stems.
  std::int64_t seen = 0;
  int tall = kMinStemRun;
  for (; tall < kMaxStemRun; ++tall) {
    seen += runs[std::size_t(tall)];
    if (10 * seen >= 9 * total)
      break;
  }
  return tall < kSmallStem ? 2 : 1;
}

// Bilinear enlargement by a whole factor.
std::shared_ptr<const GrayImage> enlarged(std::shared_ptr<GrayImage> source, int scale) {
  if (scale == 1)
    return source;
  auto out = std::make_shared<GrayImage>();
  out->width = source->width * scale;
  out->height = source->height * scale;
  out->pixels.resize(std::size_t(out->width) * out->height);
  const int lastX = source->width - 1, lastY = source->height - 1;
  for (int y = 0; y < out->height; ++y) {
    const double sy = std::clamp((y + 0.5) / scale - 0.5, 0.0, double(lastY));
    const int y0 = int(sy), y1 = std::min(y0 + 1, lastY);
    const int fy = int((sy - y0) * 256);
    std::uint8_t *target = out->pixels.data() + std::size_t(y) * out->width;
    for (int x = 0; x < out->width; ++x) {
      const double sx = std::clamp((x + 0.5) / scale - 0.5, 0.0, double(lastX));
      const int x0 = int(sx), x1 = std::min(x0 + 1, lastX);
      const int fx = int((sx - x0) * 256);
      const int top = source->at(x0, y0) * (256 - fx) + source->at(x1, y0) * fx;
      const int bottom = source->at(x0, y1) * (256 - fx) + source->at(x1, y1) * fx;
      target[x] = std::uint8_t((top * (256 - fy) + bottom * fy + (1 << 15)) >> 16);
    }
  }
  return out;
}

void limitOpenMpOnThisThread() {
  // Tesseract parallelises inside each engine with OpenMP; we run several
  // engines instead, which is far faster than oversubscribing the cores.
  // The runtime reads OMP_THREAD_LIMIT when it is loaded, before main, so
  // the limit is set through its API, per thread, when one is present.
  using SetInt = void (*)(int);
  static const auto setMaxActiveLevels = reinterpret_cast<SetInt>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
  static const auto setNumThreads = reinterpret_cast<SetInt>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
  if (setMaxActiveLevels)
    setMaxActiveLevels(0);
  if (setNumThreads)
    setNumThreads(1);
}

bool hasLetterOrDigit(const QString &text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

enum class Verdict { Keep, Doubtful, Noise };

// A word with letters or digits below the confidence floor is doubtful, not
// noise: in a line of widely spaced columns the line recogniser can score a
// plainly drawn word near zero, and it is read again on its own.
Verdict verdict(const QString &text, float confidence) {
  if (text.isEmpty() || std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); }))
    return Verdict::Noise;
  if (!hasLetterOrDigit(text))
    return confidence < kMinSymbolConfidence ? Verdict::Noise : Verdict::Keep;
  return confidence < kMinWordConfidence ? Verdict::Doubtful : Verdict::Keep;
}

struct Tagged {
  TextObservation observation;
  std::size_t job;
};

double overlapArea(const geom::Rect &a, const geom::Rect &b) {
  const geom::Rect r = a.intersected(b);
  return r.isNull() ? 0 : r.width() * r.height();
}

// Lines read twice (by two jobs over the same pixels) keep the surer reading.
std::vector<TextObservation> merge(std::vector<Tagged> lines) {
  std::vector<bool> dropped(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    for (std::size_t j = i + 1; j < lines.size() && !dropped[i]; ++j) {
      if (dropped[j] || lines[i].job == lines[j].job)
        continue;
      const geom::Rect &a = lines[i].observation.bounds, &b = lines[j].observation.bounds;
      const double smaller = std::min(a.width() * a.height(), b.width() * b.height());
      if (overlapArea(a, b) <= 0.5 * smaller)
        continue;
      if (lines[j].observation.confidence > lines[i].observation.confidence)
        dropped[i] = true;
      else
        dropped[j] = true;
    }
  }
  std::vector<TextObservation> out;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (!dropped[i])
      out.push_back(std::move(lines[i].observation));
  return out;
}

} // namespace

struct TesseractTextRecognizer::Job {
  std::shared_ptr<const GrayImage> buffer;
  QPoint origin;                   // the buffer's top-left in the image
  int scale = 1;                   // buffer pixels per image pixel
  int top = 0, bottom = 0;         // rows of the buffer to read
  int coreTop = 0, coreBottom = 0; // image rows whose lines this job keeps
};

namespace {

// The row within `reach` of `y` that crosses the fewest glyph edges, the
// nearest of equals: strips cut there, between lines, not through one (a
// line cut at a strip's edge is misread, and can spoil the next line too).
int quietRowNear(const GrayImage &gray, int y, int reach) {
  int best = y, fewest = std::numeric_limits<int>::max();
  for (int d = 0; d <= reach; ++d) {
    for (const int row : {y - d, y + d}) {
      if (row < 0 || row >= gray.height)
        continue;
      const std::uint8_t *p = gray.pixels.data() + std::size_t(row) * gray.width;
      int edges = 0;
      for (int x = 1; x < gray.width; ++x)
        edges += std::abs(int(p[x]) - int(p[x - 1])) > kTextContrast / 2;
      if (edges < fewest) {
        fewest = edges;
        best = row;
      }
    }
  }
  return best;
}

template <typename JobT>
void addStrips(std::vector<JobT> &jobs, const std::shared_ptr<const GrayImage> &buffer, QPoint origin, int scale,
               int engines) {
  const int height = buffer->height;
  int strips = 1;
  if (qint64(buffer->width) * height >= kSplitArea)
    strips = std::clamp(height / kMinStripCore, 1, engines);
  std::vector<int> cuts{0};
  for (int k = 1; k < strips; ++k)
    cuts.push_back(quietRowNear(*buffer, height * k / strips, kStripMargin / 2));
  cuts.push_back(height);
  for (int k = 0; k < strips; ++k) {
    const int coreTop = cuts[std::size_t(k)], coreBottom = cuts[std::size_t(k) + 1];
    JobT job;
    job.buffer = buffer;
    job.origin = origin;
    job.scale = scale;
    job.top = k == 0 ? 0 : quietRowNear(*buffer, std::max(0, coreTop - kStripMargin), kStripMargin / 2);
    job.bottom = k == strips - 1
                     ? height
                     : quietRowNear(*buffer, std::min(height - 1, coreBottom + kStripMargin), kStripMargin / 2) + 1;
    job.coreTop = origin.y() + (k == 0 ? std::numeric_limits<int>::min() / 2 : coreTop / scale);
    job.coreBottom = origin.y() + (k == strips - 1 ? std::numeric_limits<int>::max() / 2 : coreBottom / scale);
    jobs.push_back(std::move(job));
  }
}

} // namespace

TesseractTextRecognizer::TesseractTextRecognizer() : TesseractTextRecognizer(Options{}) {}

TesseractTextRecognizer::TesseractTextRecognizer(Options options)
    : options_(std::move(options)),
      engineCount_(options_.engineCount > 0 ? options_.engineCount : std::clamp(QThread::idealThreadCount(), 1, 8)) {
  engines_.resize(std::size_t(engineCount_));
}

TesseractTextRecognizer::~TesseractTextRecognizer() = default;

tesseract::TessBaseAPI &TesseractTextRecognizer::engine(int index) {
  auto &slot = engines_[std::size_t(index)];
  if (slot)
    return *slot;
  // Tesseract's diagnostics go to a process-wide file setting; engines start
  // on several threads at once, so it is written once, before any of them.
  static std::once_flag quiet;
  std::call_once(quiet, [] { tesseract::TessBaseAPI().SetVariable("debug_file", "/dev/null"); });
  auto api = std::make_unique<tesseract::TessBaseAPI>();
  // Dictionaries off: screenshots are full of names, paths and code that a
  // dictionary would "correct".
  std::vector<std::string> names{"load_system_dawg", "load_freq_dawg"};
  std::vector<std::string> values{"0", "0"};
  const QByteArray path = options_.dataPath.toLocal8Bit();
  const QByteArray language = options_.language.toLatin1();
  if (api->Init(path.isEmpty() ? nullptr : path.constData(), language.constData(), tesseract::OEM_LSTM_ONLY, nullptr, 0,
                &names, &values, false) != 0)
    throw TextRecognitionError(tr("The text recognition data is missing. Install the package tesseract-ocr-eng."));
  api->SetPageSegMode(tesseract::PSM_AUTO);
  slot = std::move(api);
  return *slot;
}

namespace {

// In a wide gap after a word the line recogniser can emit an underscore
// with no flat stroke under it: its box is as tall as the letters. A real
// underscore is a flat bar.
QString withoutPhantomUnderscore(const tesseract::ResultIterator &word, QString text) {
  if (text.size() < 2 || !text.endsWith('_'))
    return text;
  tesseract::ResultIterator symbol(word);
  while (!symbol.IsAtFinalElement(tesseract::RIL_WORD, tesseract::RIL_SYMBOL))
    if (!symbol.Next(tesseract::RIL_SYMBOL))
      return text;
  int left = 0, top = 0, right = 0, bottom = 0;
  if (!symbol.BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom) || 2 * (bottom - top) <= right - left)
    return text;
  text.chop(1);
  return text;
}

struct WordReading {
  QString text;
  QRect box; // in buffer pixels
  float confidence = 0;
  Verdict verdict = Verdict::Noise;
};

// The engine reads code poorly where identifiers hold underscores: it
// drops them, so `__int64_t;` comes back as "int64" and "t;", and a word's
// box often spans trailing underscores its text lacks. An underscore is a
// flat bar low in the line, alone in its columns; found beside or inside a
// word's box, it is put back into the text, joining the words it links.
// A bar that runs on under the letters is an underline and is left alone.
class UnderscoreBars {
public:
  UnderscoreBars(const GrayImage &buffer, const std::vector<WordReading *> &words, int baseline) : buffer_(buffer) {
    std::vector<double> pitches;
    top_ = std::numeric_limits<int>::max();
    for (const WordReading *word : words) {
      top_ = std::min(top_, word->box.top());
      if (word->text.size() >= 3 && !word->text.contains('_'))
        pitches.push_back(double(word->box.width()) / double(word->text.size()));
    }
    if (pitches.empty())
      return;
    std::sort(pitches.begin(), pitches.end());
    pitch_ = pitches[pitches.size() / 2];
    // Below the baseline, where letters have only descenders: the foot of
    // an L or a 2 sits on it.
    barTop_ = baseline + 1;
    barBottom_ = std::min(buffer.height - 1, baseline + std::max(2, int(0.6 * pitch_)));
  }

  bool usable() const { return pitch_ >= 4 && barTop_ > top_ && barBottom_ >= barTop_; }
  double pitch() const { return pitch_; }

  // Whether column x holds a bar and nothing above it.
  bool barAt(int x) const {
    if (x < 0 || x >= buffer_.width)
      return false;
    int background = 0;
    for (int y = top_; y <= barBottom_; ++y)
      background = std::max(background, int(buffer_.at(x, y)));
    const auto ink = [&](int y) { return int(buffer_.at(x, y)) < background - kTextContrast; };
    bool bar = false;
    for (int y = barTop_; y <= barBottom_ && !bar; ++y)
      bar = ink(y);
    if (!bar)
      return false;
    for (int y = top_; y < barTop_ - 1; ++y)
      if (ink(y))
        return false;
    return true;
  }

  // Length of the bar running from x in direction step (+1 or -1): it may
  // start up to half a pitch away (the ink of the glyph beside it stops short
  // of its cell), and gaps of a pixel or two (joins of glyphs) are bridged.
  struct Run {
    int reach = 0;  // from x to the bar's far end
    int extent = 0; // the bar itself
  };
  // A bar inside a word's box starts right at its edge (`strict`).
  Run runFrom(int x, int step, int limit, bool strict = false) const {
    Run run;
    int first = -1, missing = 0;
    for (int i = 0; i < limit; ++i) {
      if (barAt(x + step * i)) {
        if (first < 0)
          first = i;
        run = {i + 1, i + 1 - first};
        missing = 0;
      } else if (++missing > (first >= 0 ? 2 : strict ? 0 : int(pitch_ / 2))) {
        break;
      }
    }
    return run;
  }

  // Whether ink runs under (nearly) all of a word's letters: an underline.
  // Under an identifier's letters there is nothing but a descender here
  // and there.
  bool underlined(const QRect &box) const {
    int inked = 0;
    for (int x = std::max(0, box.left()); x <= std::min(buffer_.width - 1, box.right()); ++x) {
      int background = 0;
      for (int y = top_; y <= barBottom_; ++y)
        background = std::max(background, int(buffer_.at(x, y)));
      for (int y = barTop_; y <= barBottom_; ++y) {
        if (int(buffer_.at(x, y)) < background - kTextContrast) {
          ++inked;
          break;
        }
      }
    }
    return box.width() > 0 && 10 * inked >= 8 * box.width();
  }

  int count(int length) const { return length < pitch_ / 2 ? 0 : std::max(1, int(std::lround(length / pitch_))); }

private:
  const GrayImage &buffer_;
  double pitch_ = 0;
  int top_ = 0, barTop_ = 0, barBottom_ = -1;
};

qsizetype leadingUnderscores(const QString &text) {
  return std::find_if(text.begin(), text.end(), [](QChar c) { return c != '_'; }) - text.begin();
}

qsizetype trailingUnderscores(const QString &text) {
  return std::find_if(text.rbegin(), text.rend(), [](QChar c) { return c != '_'; }) - text.rbegin();
}

void restoreUnderscores(const GrayImage &buffer, std::vector<WordReading> &line, int baseline) {
  std::vector<WordReading *> words;
  for (WordReading &word : line)
    if (word.verdict != Verdict::Noise && !word.text.isEmpty() && leadingUnderscores(word.text) < word.text.size())
      words.push_back(&word);
  const UnderscoreBars bars(buffer, words, baseline);
  if (!bars.usable())
    return;
  const std::size_t n = words.size();
  const int reach = int(std::ceil(4 * bars.pitch()));
  const int margin = std::max(2, int(bars.pitch() / 4));
  // Bars inside a box, at its start and its end; a bar under (nearly) the
  // whole word is an underline, and the word is left as it is.
  std::vector<UnderscoreBars::Run> inLeft(n), inRight(n);
  std::vector<bool> underlined(n);
  for (std::size_t i = 0; i < n; ++i) {
    const QRect &box = words[i]->box;
    underlined[i] = bars.underlined(box);
    if (!underlined[i] && !words[i]->text.startsWith('_'))
      inLeft[i] = bars.runFrom(box.left(), 1, box.width(), true);
    if (!underlined[i] && !words[i]->text.endsWith('_'))
      inRight[i] = bars.runFrom(box.right(), -1, box.width() - inLeft[i].reach, true);
  }
  std::vector<qsizetype> lead(n), trail(n);
  std::vector<bool> joinsNext(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (underlined[i])
      continue;
    const QRect &box = words[i]->box;
    const UnderscoreBars::Run before = bars.runFrom(box.left() - 1, -1, reach);
    const int gap = i > 0 ? box.left() - words[i - 1]->box.right() - 1 : reach + margin;
    // A bar filling the gap to the word before, but for less than a space
    // (glyphs' ink stops short of their cells, an underscore's bar does
    // not), links the two.
    if (i > 0 && !underlined[i - 1] && bars.count(before.extent) > 0 && gap - before.reach < 0.7 * bars.pitch()) {
      joinsNext[i - 1] = true;
      trail[i - 1] = 0;
      // Boxes may overlap, and a bar may run on into the box before.
      const int between =
          std::max(inRight[i - 1].extent + std::clamp(gap, 0, before.extent), before.extent) + inLeft[i].extent;
      const qsizetype have = trailingUnderscores(words[i - 1]->text) + leadingUnderscores(words[i]->text);
      lead[i] = std::max<qsizetype>(0, std::max(1, bars.count(between)) - have);
    } else if (!words[i]->text.startsWith('_')) {
      lead[i] = bars.count(inLeft[i].extent + (before.reach < gap - margin ? before.extent : 0));
    }
    if (!words[i]->text.endsWith('_'))
      trail[i] = bars.count(inRight[i].extent + bars.runFrom(box.right() + 1, 1, reach).extent);
  }
  for (std::size_t i = 0; i < n; ++i)
    words[i]->text = QString(lead[i], '_') + words[i]->text + QString(trail[i], '_');
  // Linked words become one.
  for (std::size_t i = n; i-- > 1;) {
    if (!joinsNext[i - 1])
      continue;
    WordReading &left = *words[i - 1], &right = *words[i];
    left.text += right.text;
    left.box = left.box.united(right.box);
    left.confidence = std::min(left.confidence, right.confidence);
    if (right.verdict == Verdict::Doubtful)
      left.verdict = Verdict::Doubtful;
    right.verdict = Verdict::Noise;
  }
  // Bars read as words of their own are now part of their neighbours.
  for (WordReading &word : line)
    if (!word.text.isEmpty() && leadingUnderscores(word.text) == word.text.size())
      word.verdict = Verdict::Noise;
}

} // namespace

// A doubtful word is confirmed when, read alone as one word with a little of
// the page around it, it reads the same and confidently. Chrome read as
// letters rarely survives this: alone it reads differently or stays unsure.
std::optional<float> TesseractTextRecognizer::confirm(tesseract::TessBaseAPI &api, const Job &job, const QString &text,
                                                      const QRect &box) const {
  const GrayImage &buffer = *job.buffer;
  const int pad = std::max(4, box.height() / 3);
  const int x0 = std::max(0, box.left() - pad), x1 = std::min(buffer.width, box.right() + 1 + pad);
  const int y0 = std::max(job.top, box.top() - pad), y1 = std::min(job.bottom, box.bottom() + 1 + pad);
  if (x1 <= x0 || y1 <= y0)
    return std::nullopt;
  api.SetPageSegMode(tesseract::PSM_SINGLE_WORD);
  api.SetImage(buffer.pixels.data() + std::size_t(y0) * buffer.width + x0, x1 - x0, y1 - y0, 1, buffer.width);
  api.SetSourceResolution(kResolution);
  const bool read = api.Recognize(nullptr) == 0;
  std::unique_ptr<char[]> utf8(read ? api.GetUTF8Text() : nullptr);
  const int confidence = read ? api.MeanTextConf() : 0;
  api.SetPageSegMode(tesseract::PSM_AUTO);
  if (!utf8 || QString::fromUtf8(utf8.get()).trimmed() != text || confidence < kMinWordConfidence)
    return std::nullopt;
  return float(confidence);
}

std::vector<TextObservation> TesseractTextRecognizer::read(tesseract::TessBaseAPI &api, const Job &job,
                                                           const std::atomic<bool> &cancelled) const {
  const GrayImage &buffer = *job.buffer;
  api.SetImage(buffer.pixels.data() + std::size_t(job.top) * buffer.width, buffer.width, job.bottom - job.top, 1,
               buffer.width);
  api.SetSourceResolution(kResolution);
  tesseract::ETEXT_DESC monitor;
  monitor.cancel = [](void *cancelled, int) { return static_cast<const std::atomic<bool> *>(cancelled)->load(); };
  monitor.cancel_this = const_cast<std::atomic<bool> *>(&cancelled);
  if (api.Recognize(&monitor) != 0)
    throw TextRecognitionError(tr("The text recognition engine could not read the image."));
  stopIfCancelled(cancelled);
  // All of the page's words are taken before any is read again: a new
  // recognition ends the page's results.
  std::vector<std::vector<WordReading>> readings;
  std::vector<int> baselines; // buffer rows, one per line of readings
  {
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
      return {};
    do {
      if (it->Empty(tesseract::RIL_TEXTLINE))
        continue;
      std::vector<WordReading> &line = readings.emplace_back();
      int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
      baselines.push_back(it->Baseline(tesseract::RIL_TEXTLINE, &x1, &y1, &x2, &y2) ? (y1 + y2) / 2 + job.top : -1);
      do {
        std::unique_ptr<char[]> utf8(it->GetUTF8Text(tesseract::RIL_WORD));
        WordReading word;
        word.text = withoutPhantomUnderscore(*it, QString::fromUtf8(utf8 ? utf8.get() : "").trimmed());
        word.confidence = it->Confidence(tesseract::RIL_WORD);
        word.verdict = verdict(word.text, word.confidence);
        int left = 0, top = 0, right = 0, bottom = 0;
        if (word.verdict != Verdict::Noise && it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom) &&
            right > left && bottom > top) {
          word.box = QRect(QPoint(left, top + job.top), QPoint(right - 1, bottom - 1 + job.top));
          line.push_back(std::move(word));
        }
        if (it->IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD))
          break;
      } while (it->Next(tesseract::RIL_WORD));
    } while (it->Next(tesseract::RIL_TEXTLINE));
  }
  for (std::size_t l = 0; l < readings.size(); ++l)
    if (baselines[l] >= 0)
      restoreUnderscores(buffer, readings[l], baselines[l]);
  for (auto &line : readings) {
    for (WordReading &word : line) {
      if (word.verdict != Verdict::Doubtful || cancelled)
        continue;
      if (const auto confidence = confirm(api, job, word.text, word.box)) {
        word.verdict = Verdict::Keep;
        word.confidence = *confidence;
      }
    }
  }
  std::vector<TextObservation> lines;
  const double unit = 1.0 / job.scale;
  const double dx = job.origin.x(), dy = job.origin.y();
  for (const auto &words : readings) {
    TextObservation line;
    float confidenceSum = 0;
    for (const WordReading &word : words) {
      if (word.verdict != Verdict::Keep)
        continue;
      const QRect &b = word.box;
      const geom::Rect rect(b.left() * unit + dx, b.top() * unit + dy, (b.width()) * unit, b.height() * unit);
      line.words.push_back({word.text, rect});
      line.bounds = line.bounds.united(rect);
      confidenceSum += word.confidence;
    }
    if (line.words.isEmpty())
      continue;
    const double midY = line.bounds.midY();
    if (midY < job.coreTop || midY >= job.coreBottom)
      continue;
    line.confidence = confidenceSum / float(line.words.size()) / 100.0f;
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<TextObservation> TesseractTextRecognizer::recognize(const QImage &image,
                                                                const std::atomic<bool> &cancelled) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0)
    return {};
  QMutexLocker lock(&mutex_);
  stopIfCancelled(cancelled);
  auto gray = std::make_shared<GrayImage>(toGray(image));
  const CellMap map = classify(*gray);
  std::vector<Job> jobs;
  const DarkAreas dark = darkAreas(*gray, map);
  const int scale = enlargement(*gray, map);
  stopIfCancelled(cancelled);
  for (const DarkArea &area : dark.areas) {
    addStrips(jobs, enlarged(invertedArea(*gray, map, dark, area), scale),
              area.rect.topLeft() - QPoint(kAreaFrame, kAreaFrame), scale, engineCount_);
    stopIfCancelled(cancelled);
  }
  blankDarkAreas(*gray, map, dark);
  addStrips(jobs, enlarged(std::move(gray), scale), QPoint(0, 0), scale, engineCount_);
  stopIfCancelled(cancelled);

  // Largest first, so that no engine starts a big job when the others are done.
  std::stable_sort(jobs.begin(), jobs.end(), [](const Job &a, const Job &b) {
    return qint64(a.bottom - a.top) * a.buffer->width > qint64(b.bottom - b.top) * b.buffer->width;
  });
  const int threads = std::min<int>(engineCount_, int(jobs.size()));
  std::vector<std::vector<TextObservation>> results(jobs.size());
  std::vector<std::exception_ptr> errors(static_cast<std::size_t>(threads));
  std::atomic<std::size_t> next{0};
  auto work = [&](int index) {
    try {
      limitOpenMpOnThisThread();
      tesseract::TessBaseAPI &api = engine(index);
      // The engine's page and its images go with the last strip it read.
      const auto clear = qScopeGuard([&api] { api.Clear(); });
      for (std::size_t j = next++; j < jobs.size() && !cancelled; j = next++)
        results[j] = read(api, jobs[j], cancelled);
    } catch (...) {
      errors[std::size_t(index)] = std::current_exception();
      next = jobs.size();
    }
  };
  std::vector<std::thread> helpers;
  for (int k = 1; k < threads; ++k)
    helpers.emplace_back(work, k);
  work(0);
  for (auto &helper : helpers)
    helper.join();
  if (cancelled) {
    // The engines' working memory has grown to the page's lines, and the
    // page was not wanted: new engines are made for the next one.
    for (auto &api : engines_)
      api.reset();
    stopIfCancelled(cancelled);
  }
  for (const auto &error : errors)
    if (error)
      std::rethrow_exception(error);

  std::vector<Tagged> lines;
  for (std::size_t j = 0; j < results.size(); ++j)
    for (auto &line : results[j])
      lines.push_back({std::move(line), j});
  return merge(std::move(lines));
}

} // namespace crel
