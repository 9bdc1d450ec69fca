#include "PatchFilter.h"

#include "ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace crel {

namespace {

constexpr double maximumSigma = 8000;
constexpr int channels = 4;

QImage premultiplied(const QImage &image) {
  return image.format() == QImage::Format_ARGB32_Premultiplied
             ? image
             : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// One box pass along a line of pixels, per channel:
//   out[i] = round(scale · (Σ in[i+1 … i+span] + alpha · (in[i] + in[i+span+1])))
// with span = 2·radius + 1: a box with fractional end taps, whose width can
// match any variance. The sum slides, so the cost does not depend on the
// radius. `in` holds count + span + 1 pixels. Intermediate passes keep 8
// extra bits (uint16 lines), so only stored results are rounded to bytes.
template <class In, class Out>
void boxLine(const In *__restrict in, int count, int radius, float alpha, float scale, Out *__restrict out) {
  const int span = 2 * radius + 1;
  std::uint32_t s[channels] = {0, 0, 0, 0};
  for (int j = 1; j <= span; ++j)
    for (int c = 0; c < channels; ++c)
      s[c] += in[channels * j + c];
  for (int i = 0; i < count; ++i) {
    const In *low = in + channels * i;
    const In *high = in + channels * (i + span + 1);
    Out *o = out + channels * i;
    for (int c = 0; c < channels; ++c) {
      const float ends = static_cast<float>(low[c] + high[c]);
      o[c] = static_cast<Out>((static_cast<float>(s[c]) + alpha * ends) * scale + 0.5f);
      s[c] += static_cast<std::uint32_t>(high[c]) - low[channels + c];
    }
  }
}

// The same pass down a band of columns: rows are given as pointers so that
// the first pass can read the edge rows repeatedly without copying them.
// Every lane of a row is independent, which lets the compiler vectorise.
template <class In, class Out>
void boxColumns(const In *const *in, int count, int radius, float alpha, float scale, Out *const *out, int lanes,
                std::vector<std::uint32_t> &sums) {
  const int span = 2 * radius + 1;
  std::uint32_t *__restrict s = sums.data();
  std::fill(s, s + lanes, 0u);
  for (int j = 1; j <= span; ++j) {
    const In *__restrict row = in[j];
    for (int l = 0; l < lanes; ++l)
      s[l] += row[l];
  }
  for (int i = 0; i < count; ++i) {
    Out *__restrict o = out[i];
    const In *__restrict low = in[i];
    const In *__restrict next = in[i + 1];
    const In *__restrict high = in[i + span + 1];
    for (int l = 0; l < lanes; ++l) {
      const float ends = static_cast<float>(low[l] + high[l]);
      o[l] = static_cast<Out>((static_cast<float>(s[l]) + alpha * ends) * scale + 0.5f);
      s[l] += static_cast<std::uint32_t>(high[l]) - next[l];
    }
  }
}

// A worker's failure (memory running out, most likely) ends a filter like any
// other allocation failure: a null image, which the caller shows as black.
template <class Filter> QImage nullOnFailure(const Filter &filter) {
  try {
    return filter();
  } catch (const std::exception &) {
    return {};
  }
}

} // namespace

double PatchFilter::strength(std::optional<double> blurStrength) {
  const double s = blurStrength.value_or(16);
  if (std::isnan(s))
    return 4;
  return std::clamp(s, 4.0, 96.0);
}

QRect PatchFilter::workingArea(const QRect &patchRect, double s) {
  const int margin = static_cast<int>(std::ceil(3 * s));
  return patchRect.adjusted(-margin, -margin, margin, margin);
}

bool PatchFilter::workingAreaFits(const QRect &area) {
  return area.width() <= 32768 && area.height() <= 32768 &&
         static_cast<std::int64_t>(area.width()) * area.height() <= 80'000'000;
}

QImage PatchFilter::filter(const QImage &working, const QRect &area, const QRect &patchRect, BlurEffect effect,
                           double s) {
  const QRect crop = patchRect.translated(-area.topLeft());
  if (effect == BlurEffect::pixelate)
    return pixelate(working, s, QPointF(-area.left(), -area.top()), crop);
  return gaussianBlur(working, s, crop);
}

PatchFilter::BoxPass PatchFilter::boxPass(double sigma) {
  if (!(sigma > 0))
    return {0, 0};
  sigma = std::min(sigma, maximumSigma);
  // Each of the three passes carries a third of the variance. The whole box
  // of radius r has variance r(r+1)/3; the fractional end taps make up the
  // rest, so the sum is sigma² exactly.
  const double target = sigma * sigma / 3;
  int r = static_cast<int>(std::floor((std::sqrt(12 * target + 1) - 1) / 2));
  while (r > 0 && r * (r + 1) / 3.0 > target)
    --r;
  while ((r + 1) * (r + 2) / 3.0 <= target)
    ++r;
  const double alpha = (2 * r + 1) * (target - r * (r + 1) / 3.0) / (2 * ((r + 1.0) * (r + 1.0) - target));
  return {r, alpha};
}

double PatchFilter::BoxPass::variance() const {
  return ((2 * radius + 1) * radius * (radius + 1) / 3.0 + 2 * extension * (radius + 1.0) * (radius + 1.0)) /
         (2 * radius + 1 + 2 * extension);
}

QImage PatchFilter::gaussianBlur(const QImage &image, double sigma, const QRect &crop) {
  return nullOnFailure([&] { return blurred(image, sigma, crop); });
}

QImage PatchFilter::pixelate(const QImage &image, double cellSize, QPointF gridOrigin, const QRect &crop) {
  return nullOnFailure([&] { return pixelated(image, cellSize, gridOrigin, crop); });
}

QImage PatchFilter::blurred(const QImage &image, double sigma, const QRect &crop) {
  if (image.isNull() || crop.isEmpty())
    return {};
  const QImage source = premultiplied(image);
  const int sourceWidth = source.width();
  const int sourceHeight = source.height();
  const BoxPass pass = boxPass(sigma);
  const int r = pass.radius;
  const auto alpha = static_cast<float>(pass.extension);
  const int step = r + 1;     // how far one pass looks to each side
  const int reach = 3 * step; // how far the three passes together look
  const int cw = crop.width();
  const int ch = crop.height();
  const float norm = static_cast<float>(2 * r + 1 + 2 * pass.extension);
  const float toWide = 256.0f / norm;
  const float keepWide = 1.0f / norm;
  const float toByte = 1.0f / (256.0f * norm);

  // Horizontal passes, once per distinct source row the vertical passes
  // need (rows beyond the source repeat its edge rows, so they are not
  // computed twice). Columns beyond the source repeat its edge columns.
  const int firstRow = std::clamp(crop.top() - reach, 0, sourceHeight - 1);
  const int lastRow = std::clamp(crop.bottom() + reach, 0, sourceHeight - 1);
  const int rows = lastRow - firstRow + 1;
  const std::size_t rowBytes = static_cast<std::size_t>(cw) * channels;
  // Left uninitialised: every byte is written below, by the thread that then owns its pages.
  const std::unique_ptr<std::uint8_t[]> horizontalStorage(new (std::nothrow) std::uint8_t[rowBytes * rows]);
  if (!horizontalStorage)
    return {};
  std::uint8_t *const horizontal = horizontalStorage.get();

  const int n0 = cw + 2 * reach; // the extended source line
  const int n1 = cw + 4 * step;
  const int n2 = cw + 2 * step;
  const int lineStart = crop.left() - reach;
  const int leftRepeat = std::clamp(-lineStart, 0, n0);
  const int rightRepeat = std::clamp(sourceWidth - lineStart, 0, n0);
  constexpr int rowsPerBand = 16;
  parallelFor((rows + rowsPerBand - 1) / rowsPerBand,
              [&](int band) {
                std::vector<std::uint8_t> extended(static_cast<std::size_t>(n0) * channels);
                std::vector<std::uint16_t> first(static_cast<std::size_t>(n1) * channels);
                std::vector<std::uint16_t> second(static_cast<std::size_t>(n2) * channels);
                const int end = std::min(rows, (band + 1) * rowsPerBand);
                for (int row = band * rowsPerBand; row < end; ++row) {
                  const auto *line = reinterpret_cast<const std::uint32_t *>(source.constScanLine(firstRow + row));
                  auto *ext = reinterpret_cast<std::uint32_t *>(extended.data());
                  std::fill(ext, ext + leftRepeat, line[0]);
                  if (rightRepeat > leftRepeat)
                    std::memcpy(ext + leftRepeat, line + lineStart + leftRepeat,
                                sizeof(std::uint32_t) * (rightRepeat - leftRepeat));
                  std::fill(ext + rightRepeat, ext + n0, line[sourceWidth - 1]);
                  boxLine(extended.data(), n1, r, alpha, toWide, first.data());
                  boxLine(first.data(), n2, r, alpha, keepWide, second.data());
                  boxLine(second.data(), cw, r, alpha, toByte, horizontal + rowBytes * row);
                }
              },
              static_cast<std::int64_t>(n0) * rows);

  // Vertical passes over bands of columns, walking down the rows so that
  // memory is read in order.
  QImage result(cw, ch, QImage::Format_ARGB32_Premultiplied);
  if (result.isNull())
    return {};
  // Row addresses are taken here: scanLine() on a shared image is not for threads.
  std::uint8_t *const resultBits = result.bits();
  const qsizetype resultStride = result.bytesPerLine();
  const int m0 = ch + 2 * reach;
  const int m1 = ch + 4 * step;
  const int m2 = ch + 2 * step;
  constexpr int bandColumns = 64;
  parallelFor((cw + bandColumns - 1) / bandColumns,
              [&](int band) {
                const int x0 = band * bandColumns;
                const int lanes = std::min(bandColumns, cw - x0) * channels;
                std::vector<const std::uint8_t *> in(m0);
                for (int v = 0; v < m0; ++v) {
                  const int y = std::clamp(crop.top() - reach + v, 0, sourceHeight - 1);
                  in[v] = horizontal + rowBytes * (y - firstRow) + x0 * channels;
                }
                std::vector<std::uint16_t> first(static_cast<std::size_t>(m1) * lanes);
                std::vector<std::uint16_t> second(static_cast<std::size_t>(m2) * lanes);
                std::vector<std::uint16_t *> firstRows(m1), secondRows(m2);
                for (int i = 0; i < m1; ++i)
                  firstRows[i] = first.data() + static_cast<std::size_t>(i) * lanes;
                for (int i = 0; i < m2; ++i)
                  secondRows[i] = second.data() + static_cast<std::size_t>(i) * lanes;
                std::vector<std::uint8_t *> outRows(ch);
                for (int y = 0; y < ch; ++y)
                  outRows[y] = resultBits + resultStride * y + x0 * channels;
                std::vector<std::uint32_t> sums(lanes);
                boxColumns(in.data(), m1, r, alpha, toWide, firstRows.data(), lanes, sums);
                boxColumns(firstRows.data(), m2, r, alpha, keepWide, secondRows.data(), lanes, sums);
                boxColumns(secondRows.data(), ch, r, alpha, toByte, outRows.data(), lanes, sums);
              },
              static_cast<std::int64_t>(cw) * m0);
  return result;
}

namespace {

// The pixel boundaries of the cells along one axis that cover [first, last]:
// cell k holds the pixels whose centres lie in [origin + k·size, origin + (k+1)·size).
std::vector<long long> cellBoundaries(int first, int last, double size, double origin) {
  auto cellOf = [&](long long x) { return static_cast<long long>(std::floor((x + 0.5 - origin) / size)); };
  auto start = [&](long long k) {
    auto x = static_cast<long long>(std::ceil(k * size + origin - 0.5));
    while (cellOf(x - 1) >= k)
      --x;
    while (cellOf(x) < k)
      ++x;
    return x;
  };
  std::vector<long long> bounds;
  for (long long k = cellOf(first); k <= cellOf(last) + 1; ++k)
    bounds.push_back(start(k));
  return bounds;
}

} // namespace

QImage PatchFilter::pixelated(const QImage &image, double cellSize, QPointF gridOrigin, const QRect &crop) {
  if (image.isNull() || crop.isEmpty())
    return {};
  const QImage source = premultiplied(image);
  const double size = cellSize >= 1 ? std::min(cellSize, 1e6) : 1;
  const std::vector<long long> xs = cellBoundaries(crop.left(), crop.right(), size, gridOrigin.x());
  const std::vector<long long> ys = cellBoundaries(crop.top(), crop.bottom(), size, gridOrigin.y());
  const long long xFirst = xs.front();
  std::vector<int> column(xs.back() - xFirst);
  for (std::size_t i = 0; i < column.size(); ++i)
    column[i] = static_cast<int>(std::clamp<long long>(xFirst + static_cast<long long>(i), 0, source.width() - 1));

  QImage result(crop.width(), crop.height(), QImage::Format_ARGB32_Premultiplied);
  if (result.isNull())
    return {};
  std::uint8_t *const resultBits = result.bits();
  const qsizetype resultStride = result.bytesPerLine();
  const int cellColumns = static_cast<int>(xs.size()) - 1;
  parallelFor(
      static_cast<int>(ys.size()) - 1,
      [&](int cy) {
        const long long y0 = ys[cy], y1 = ys[cy + 1];
        const int outTop = static_cast<int>(std::max<long long>(y0, crop.top()) - crop.top());
        const int outBottom = static_cast<int>(std::min<long long>(y1, crop.bottom() + 1) - crop.top());
        for (int cx = 0; cx < cellColumns; ++cx) {
          const long long x0 = xs[cx], x1 = xs[cx + 1];
          std::uint64_t sum[channels] = {0, 0, 0, 0};
          for (long long y = y0; y < y1; ++y) {
            const auto *line = source.constScanLine(std::clamp<long long>(y, 0, source.height() - 1));
            for (long long x = x0; x < x1; ++x) {
              const std::uint8_t *p = line + channels * column[x - xFirst];
              for (int c = 0; c < channels; ++c)
                sum[c] += p[c];
            }
          }
          const std::uint64_t n = static_cast<std::uint64_t>((y1 - y0) * (x1 - x0));
          std::uint8_t average[channels];
          for (int c = 0; c < channels; ++c)
            average[c] = static_cast<std::uint8_t>((sum[c] + n / 2) / n);
          std::uint32_t value;
          std::memcpy(&value, average, sizeof value);
          const int outLeft = static_cast<int>(std::max<long long>(x0, crop.left()) - crop.left());
          const int outRight = static_cast<int>(std::min<long long>(x1, crop.right() + 1) - crop.left());
          for (int y = outTop; y < outBottom; ++y) {
            auto *out = reinterpret_cast<std::uint32_t *>(resultBits + resultStride * y);
            std::fill(out + outLeft, out + outRight, value);
          }
        }
      },
      static_cast<std::int64_t>(crop.width()) * crop.height());
  return result;
}

} // namespace crel
