#include "DarkAreas.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

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
constexpr int kTextContrast = GrayImage::kTextContrast;
constexpr int kMinDarkSide = 16; // pixels; smaller dark areas hold no text line
constexpr int kMinLightTextPixels = 24;
// The height of the tall vertical ink runs (stems of glyphs) tells the
// text size without reading: sampled on every third column. A few runs are
// no evidence of text: lines, frames and dots enlarged read as letters.
constexpr int kMinStemRun = 2, kMaxStemRun = 64;
constexpr int kSmallStem = 11;
constexpr std::int64_t kMinStemRuns = 1000;

// A row (or column) lies inside an area when most of its pixels are near the
// area's background.
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

void refineEdges(const GrayImage &gray, DarkAreas::Area &area) {
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

} // namespace

DarkAreas::CellMap DarkAreas::classify(const GrayImage &gray) {
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

DarkAreas::DarkAreas(const GrayImage &gray) : map_(classify(gray)) {
  const CellMap &map = map_;
  cellArea_.assign(map.dark.size(), -1);
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
      Area area;
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
      area.id = int(areas_.size());
      for (const auto &[c, r] : members)
        cellArea_[map.index(c, r)] = area.id;
      areas_.push_back(area);
    }
  }
}

// A cell of an area of another shape: one of its own cells, or a cell amid
// its background that no area claims (a cell filled by a large glyph).
bool DarkAreas::belongsTo(const Area &area, int column, int row) const {
  const int id = cellArea_[map_.index(column, row)];
  return id == area.id || (id < 0 && map_.darkAround[map_.index(column, row)]);
}

std::shared_ptr<GrayImage> DarkAreas::inverted(const GrayImage &gray, const Area &area) const {
  const CellMap &map = map_;
  auto out = std::make_shared<GrayImage>();
  out->width = area.rect.width() + 2 * kFrame;
  out->height = area.rect.height() + 2 * kFrame;
  out->pixels.assign(std::size_t(out->width) * out->height, 255);
  for (int y = 0; y < area.rect.height(); ++y) {
    for (int x = 0; x < area.rect.width(); ++x) {
      const int gx = area.rect.x() + x, gy = area.rect.y() + y;
      const int column = gx / kCell, row = gy / kCell;
      if (!area.rectangular && !belongsTo(area, column, row))
        continue; // light cells inside the box belong to the ordinary pass
      const int level = area.rectangular ? area.level : map.levelAt(column, row);
      const int above = std::clamp(int(gray.at(gx, gy)) - level, 0, 255 - level);
      out->pixels[std::size_t(y + kFrame) * out->width + x + kFrame] =
          std::uint8_t(255 - above * 255 / std::max(1, 255 - level));
    }
  }
  return out;
}

void DarkAreas::blank(GrayImage &gray) const {
  const CellMap &map = map_;
  for (int y = 0; y < gray.height; ++y)
    for (int x = 0; x < gray.width; ++x)
      if (map.isDark(x / kCell, y / kCell) && cellArea_[map.index(x / kCell, y / kCell)] < 0)
        gray.pixels[std::size_t(y) * gray.width + x] = 255; // dark, but without text: no need to read
  for (const Area &area : areas_) {
    for (int y = area.rect.top(); y <= area.rect.bottom(); ++y) {
      for (int x = area.rect.left(); x <= area.rect.right(); ++x) {
        if (area.rectangular || belongsTo(area, x / kCell, y / kCell))
          gray.pixels[std::size_t(y) * gray.width + x] = 255;
      }
    }
  }
}

int DarkAreas::enlargement(const GrayImage &gray) const {
  const CellMap &map = map_;
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

} // namespace crel
