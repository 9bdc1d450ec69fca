#pragma once

#include "platform/text/GrayImage.h"

#include <QRect>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace crel {

// The light-on-dark areas of a page (title bars, selected rows, dark panels,
// buttons). The recogniser reads each on its own, inverted, and the rest of
// the page with them blanked.
class DarkAreas {
public:
  // A 4-connected group of dark cells that holds some light text. Most are
  // rectangles (title bars, selected rows, dark panels, buttons); their edges
  // are then found to the pixel, so that text close to an edge is not cut by a
  // cell-sized step. Other shapes follow their cells.
  struct Area {
    QRect rect;
    bool rectangular = false;
    int level = 0; // the median background of its cells
    int id = 0;
  };

  // The white frame around an inverted area, in pixels: Tesseract reads
  // poorly right at an image's edge.
  static constexpr int kFrame = 16;

  explicit DarkAreas(const GrayImage &gray);

  const std::vector<Area> &areas() const { return areas_; }

  // Small text (a 1x screen's 12-14 px fonts) is read far better enlarged:
  // the engine's line recogniser loses short words and thin glyphs at that
  // size. The factor for this page: 2 for small text, else 1.
  int enlargement(const GrayImage &gray) const;
  // One area, inverted and stretched so that its background turns white and
  // its light text black (a mid-tone background left grey would be
  // thresholded together with the text), inside a white frame of `kFrame`.
  std::shared_ptr<GrayImage> inverted(const GrayImage &gray, const Area &area) const;
  // The text to read in the ordinary pass: dark areas blanked, so that they
  // cost nothing there and cannot be read twice. Done in place, last.
  void blank(GrayImage &gray) const;

private:
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

  static CellMap classify(const GrayImage &gray);
  bool belongsTo(const Area &area, int column, int row) const;

  CellMap map_;
  std::vector<Area> areas_;
  std::vector<int> cellArea_; // per cell: index into areas_, or -1
};

} // namespace crel
