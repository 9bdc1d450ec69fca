#include "PngEncoder.h"

#include "DeflateEncoder.h"
#include "PngScanlines.h"

#include <QColorSpace>
#include <QThread>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace crel {

namespace {

constexpr std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr std::uint8_t zlibHeader[2] = {0x78, 0x01}; // deflate, 32 KiB window, fastest

enum class Source { premultiplied, straight, opaque };

void putBigEndian(std::uint8_t *p, std::uint32_t v) {
  p[0] = std::uint8_t(v >> 24);
  p[1] = std::uint8_t(v >> 16);
  p[2] = std::uint8_t(v >> 8);
  p[3] = std::uint8_t(v);
}

// Seals chunk[8, 8 + payload) as a chunk of the given type: fills in length,
// type and the CRC after it.
void sealChunk(std::uint8_t *chunk, std::size_t payload, const char *type) {
  putBigEndian(chunk, std::uint32_t(payload));
  std::memcpy(chunk + 4, type, 4);
  const uLong crc = crc32_z(0, chunk + 4, payload + 4);
  putBigEndian(chunk + 8 + payload, std::uint32_t(crc));
}

struct Layout {
  int width = 0;
  int height = 0;
  int channels = 3;
  std::size_t rowBytes = 0;
  int rowsPerPiece = 1;
  int historyRows = 0;
  int pieces = 0;

  Layout(int w, int h, int c) : width(w), height(h), channels(c) {
    rowBytes = 1 + std::size_t(w) * std::size_t(c);
    rowsPerPiece = int(std::clamp<std::size_t>(PngEncoder::pieceBytes / rowBytes, 1, std::size_t(h)));
    historyRows = int(std::min<std::size_t>((32768 + rowBytes - 1) / rowBytes, std::size_t(rowsPerPiece)));
    pieces = (h + rowsPerPiece - 1) / rowsPerPiece;
  }
};

// One row as 8-bit RGB or straight RGBA. False when an RGB row meets a pixel
// that is not opaque.
bool packRow(const QImage &image, Source source, int channels, int y, std::uint8_t *out) {
  const QRgb *in = reinterpret_cast<const QRgb *>(image.constScanLine(y));
  if (channels == 3)
    return PngScanlines::packRgb(in, image.width(), source == Source::opaque, out);
  PngScanlines::packRgba(in, image.width(), source == Source::premultiplied, out);
  return true;
}

struct Piece {
  std::vector<std::uint8_t> chunk; // a whole IDAT chunk
  std::uint32_t adler = 1;
  std::size_t rawLength = 0;
};

class Encoder {
public:
  Encoder(const QImage &image, Source source, int channels, int threads)
      : image_(image), source_(source), layout_(image.width(), image.height(), channels), pieces_(layout_.pieces),
        threads_(std::max(1, std::min(threads, layout_.pieces))) {}

  // False when an RGB attempt met a pixel that is not opaque.
  bool run() {
    std::vector<std::thread> workers;
    workers.reserve(std::size_t(threads_ - 1));
    for (int t = 1; t < threads_; ++t) {
      try {
        workers.emplace_back([this] { work(); });
      } catch (const std::system_error &) {
        break; // fewer threads only make it slower; the bytes stay the same
      }
    }
    work();
    for (std::thread &w : workers)
      w.join();
    if (error_)
      std::rethrow_exception(error_);
    return !translucent_.load();
  }

  QByteArray assemble() const {
    // Signature, IHDR, the zlib header's IDAT, the pieces, the closing IDAT (final
    // block and Adler-32), IEND.
    std::size_t total = sizeof signature + (12 + 13) + (12 + sizeof zlibHeader) + (12 + 6) + 12;
    for (const Piece &p : pieces_)
      total += p.chunk.size();
    QByteArray png(qsizetype(total), Qt::Uninitialized);
    auto *out = reinterpret_cast<std::uint8_t *>(png.data());
    std::memcpy(out, signature, sizeof signature);
    out += sizeof signature;

    std::uint8_t *ihdr = out;
    putBigEndian(ihdr + 8, std::uint32_t(layout_.width));
    putBigEndian(ihdr + 12, std::uint32_t(layout_.height));
    ihdr[16] = 8;                             // bit depth
    ihdr[17] = layout_.channels == 4 ? 6 : 2; // colour type
    ihdr[18] = ihdr[19] = ihdr[20] = 0;       // deflate, adaptive filters, no interlace
    sealChunk(ihdr, 13, "IHDR");
    out += 25;

    // The zlib header travels in its own small chunk so that every piece's
    // chunk can be sealed by its worker.
    std::memcpy(out + 8, zlibHeader, sizeof zlibHeader);
    sealChunk(out, sizeof zlibHeader, "IDAT");
    out += 12 + sizeof zlibHeader;

    uLong adler = 1;
    for (const Piece &p : pieces_) {
      std::memcpy(out, p.chunk.data(), p.chunk.size());
      out += p.chunk.size();
      adler = adler32_combine(adler, p.adler, z_off_t(p.rawLength));
    }
    std::memcpy(out + 8, DeflateEncoder::finalBlock, 2);
    putBigEndian(out + 10, std::uint32_t(adler));
    sealChunk(out, 6, "IDAT");
    out += 18;
    sealChunk(out, 0, "IEND");
    return png;
  }

private:
  void work() {
    try {
      DeflateEncoder deflate;
      // Packed rows keep a zero margin on both sides for the filters' reads.
      const std::size_t n = layout_.rowBytes - 1;
      std::vector<std::uint8_t> rows[2], scratch, buffer;
      rows[0].assign(n + 2 * PngScanlines::rowMargin, 0);
      rows[1].assign(n + 2 * PngScanlines::rowMargin, 0);
      scratch.resize(2 * n + PngScanlines::rowMargin);
      for (;;) {
        const int k = next_.fetch_add(1);
        if (k >= layout_.pieces || translucent_.load(std::memory_order_relaxed) || failed_.load())
          return;
        if (!encodePiece(k, deflate, rows, scratch, buffer)) {
          translucent_ = true;
          return;
        }
      }
    } catch (...) {
      std::lock_guard lock(errorMutex_);
      if (!error_)
        error_ = std::current_exception();
      failed_ = true;
    }
  }

  bool encodePiece(int k, DeflateEncoder &deflate, std::vector<std::uint8_t> (&rows)[2],
                   std::vector<std::uint8_t> &scratch, std::vector<std::uint8_t> &buffer) {
    const Layout &l = layout_;
    const int first = k * l.rowsPerPiece;
    const int last = std::min(l.height, first + l.rowsPerPiece);
    // Rows before the piece are filtered again here so that matches may reach
    // back into the previous piece without waiting for it.
    const int from = std::max(0, first - l.historyRows);
    const std::size_t n = l.rowBytes - 1;
    buffer.resize(std::size_t(last - from) * l.rowBytes + DeflateEncoder::readPadding);
    std::uint8_t *prev = rows[0].data() + PngScanlines::rowMargin;
    std::uint8_t *cur = rows[1].data() + PngScanlines::rowMargin;
    if (from > 0) {
      if (!packRow(image_, source_, l.channels, from - 1, prev))
        return false;
    } else {
      std::fill_n(prev, n, 0);
    }
    for (int y = from; y < last; ++y) {
      if (!packRow(image_, source_, l.channels, y, cur))
        return false;
      PngScanlines::filter(prev, cur, n, l.channels, buffer.data() + std::size_t(y - from) * l.rowBytes,
                           scratch.data());
      std::swap(prev, cur);
    }
    const std::size_t history = std::size_t(first - from) * l.rowBytes;
    const std::size_t size = std::size_t(last - from) * l.rowBytes;
    std::fill(buffer.begin() + std::ptrdiff_t(size), buffer.end(), 0);

    Piece &piece = pieces_[std::size_t(k)];
    piece.rawLength = size - history;
    piece.adler = PngScanlines::adler32(1, buffer.data() + history, size - history);
    piece.chunk.assign(8, 0);
    deflate.encode(buffer.data(), history, size, piece.chunk);
    const std::size_t payload = piece.chunk.size() - 8;
    piece.chunk.resize(piece.chunk.size() + 4);
    sealChunk(piece.chunk.data(), payload, "IDAT");
    return true;
  }

  const QImage &image_;
  const Source source_;
  const Layout layout_;
  std::vector<Piece> pieces_;
  const int threads_;
  std::atomic<int> next_{0};
  std::atomic<bool> translucent_{false};
  std::atomic<bool> failed_{false};
  std::mutex errorMutex_;
  std::exception_ptr error_;
};

} // namespace

QByteArray PngEncoder::encode(const QImage &input, int threads) {
  if (input.isNull())
    return {};
  QImage image = input;
  if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace(QColorSpace::SRgb))
    image = image.convertedToColorSpace(QColorSpace(QColorSpace::SRgb));

  Source source;
  switch (image.format()) {
  case QImage::Format_ARGB32_Premultiplied: source = Source::premultiplied; break;
  case QImage::Format_ARGB32: source = Source::straight; break;
  case QImage::Format_RGB32: source = Source::opaque; break;
  default:
    if (image.hasAlphaChannel()) {
      image = image.convertToFormat(QImage::Format_ARGB32);
      source = Source::straight;
    } else {
      image = image.convertToFormat(QImage::Format_RGB32);
      source = Source::opaque;
    }
    break;
  }
  // Qt reports a conversion that ran out of memory as a null image.
  if (image.isNull())
    throw std::bad_alloc();
  if (threads <= 0)
    threads = QThread::idealThreadCount();

  // Most images are opaque: try RGB first and start over as RGBA only when a
  // piece meets transparency.
  {
    Encoder rgb(image, source, 3, threads);
    if (rgb.run())
      return rgb.assemble();
  }
  Encoder rgba(image, source, 4, threads);
  rgba.run();
  return rgba.assemble();
}

} // namespace crel
