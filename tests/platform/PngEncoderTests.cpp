#include "platform/DeflateEncoder.h"
#include "platform/PngEncoder.h"
#include "platform/PngScanlines.h"

#include <QColorSpace>
#include <QPainter>

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

using namespace crel;

namespace {

// ---- decoders and checks -------------------------------------------------

struct Chunk {
  QByteArray type;
  QByteArray data;
};

std::uint32_t bigEndian(const char *p) {
  const auto *u = reinterpret_cast<const unsigned char *>(p);
  return std::uint32_t(u[0]) << 24 | std::uint32_t(u[1]) << 16 | std::uint32_t(u[2]) << 8 | u[3];
}

// Splits a PNG into chunks, failing the test on a bad signature or CRC.
std::vector<Chunk> chunks(const QByteArray &png) {
  std::vector<Chunk> out;
  EXPECT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n"));
  qsizetype at = 8;
  while (at + 12 <= png.size()) {
    const std::uint32_t length = bigEndian(png.constData() + at);
    Chunk c{png.mid(at + 4, 4), png.mid(at + 8, qsizetype(length))};
    const QByteArray covered = png.mid(at + 4, qsizetype(length) + 4);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(covered.constData()), uInt(covered.size()));
    EXPECT_EQ(bigEndian(png.constData() + at + 8 + length), std::uint32_t(crc)) << "CRC of " << c.type.constData();
    out.push_back(c);
    at += 12 + qsizetype(length);
  }
  EXPECT_EQ(at, png.size());
  return out;
}

// Inflates all IDAT data as one zlib stream; the stream must end exactly at
// the end of the data and its checksum must hold.
QByteArray inflateImageData(const QByteArray &png) {
  QByteArray z;
  for (const Chunk &c : chunks(png))
    if (c.type == "IDAT")
      z += c.data;
  QByteArray out(64 * 1024 * 1024, Qt::Uninitialized);
  z_stream s{};
  inflateInit(&s);
  s.next_in = reinterpret_cast<Bytef *>(z.data());
  s.avail_in = uInt(z.size());
  s.next_out = reinterpret_cast<Bytef *>(out.data());
  s.avail_out = uInt(out.size());
  const int rc = inflate(&s, Z_FINISH);
  EXPECT_EQ(rc, Z_STREAM_END) << (s.msg ? s.msg : "");
  EXPECT_EQ(s.avail_in, 0u);
  out.resize(qsizetype(s.total_out));
  inflateEnd(&s);
  return out;
}

int colourType(const QByteArray &png) { return png.size() > 25 ? static_cast<unsigned char>(png[25]) : -1; }

QImage decodeWithLibpng(const QByteArray &png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.constData(), std::size_t(png.size())))
    return {};
  image.format = PNG_FORMAT_BGRA; // QImage's ARGB32 byte order on little-endian machines
  QImage out(int(image.width), int(image.height), QImage::Format_ARGB32);
  if (!png_image_finish_read(&image, nullptr, out.bits(), png_int_32(out.bytesPerLine()), nullptr)) {
    png_image_free(&image);
    return {};
  }
  return out;
}

// Straight alpha by qUnpremultiply. Qt's own bulk conversion may round ties
// differently depending on the processor's vector units; either rounding
// premultiplies back to the same pixel.
QImage straight(const QImage &source) {
  if (source.format() != QImage::Format_ARGB32_Premultiplied)
    return source.convertToFormat(QImage::Format_ARGB32);
  QImage out(source.size(), QImage::Format_ARGB32);
  for (int y = 0; y < source.height(); ++y) {
    const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
    auto *o = reinterpret_cast<QRgb *>(out.scanLine(y));
    for (int x = 0; x < source.width(); ++x)
      o[x] = qUnpremultiply(in[x]);
  }
  return out;
}

// Both decoders must give exactly the straight-alpha pixels of the source.
void expectDecodesTo(const QByteArray &png, const QImage &source) {
  ASSERT_FALSE(png.isEmpty());
  const QImage expected = straight(source);
  QImage viaQt;
  ASSERT_TRUE(viaQt.loadFromData(png, "PNG"));
  viaQt = viaQt.convertToFormat(QImage::Format_ARGB32);
  const QImage viaLibpng = decodeWithLibpng(png);
  ASSERT_FALSE(viaLibpng.isNull());
  ASSERT_EQ(viaQt.size(), expected.size());
  ASSERT_EQ(viaLibpng.size(), expected.size());
  for (int y = 0; y < expected.height(); ++y) {
    const auto *e = reinterpret_cast<const QRgb *>(expected.constScanLine(y));
    const auto *q = reinterpret_cast<const QRgb *>(viaQt.constScanLine(y));
    const auto *l = reinterpret_cast<const QRgb *>(viaLibpng.constScanLine(y));
    for (int x = 0; x < expected.width(); ++x) {
      ASSERT_EQ(q[x], e[x]) << "Qt, pixel " << x << "," << y;
      ASSERT_EQ(l[x], e[x]) << "libpng, pixel " << x << "," << y;
    }
  }
}

// ---- test images ---------------------------------------------------------

// Gradients, flat areas and noise, opaque.
QImage screenLike(int width, int height, std::uint32_t seed = 1) {
  QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y) {
    auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
    for (int x = 0; x < width; ++x) {
      if ((x / 16 + y / 16) % 3 == 0)
        row[x] = qRgb(240, 240, 244);
      else if ((x / 16 + y / 16) % 3 == 1)
        row[x] = qRgb(x & 255, y & 255, (x * y) & 255);
      else
        row[x] = qRgb(int(rng() & 255), int(rng() & 255), int(rng() & 255));
    }
  }
  return img;
}

QImage translucent(int width, int height) {
  QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
  std::mt19937 rng(7);
  for (int y = 0; y < height; ++y) {
    auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const int a = x % 5 == 0 ? 255 : int(rng() % 256);
      row[x] = qPremultiply(qRgba(int(rng() & 255), x & 255, y & 255, a));
    }
  }
  return img;
}

// ---- the PNG as a whole --------------------------------------------------

TEST(PngEncoder, OpaqueImagesAreRgbAndDecodeExactly) {
  const QImage image = screenLike(301, 203);
  const QByteArray png = PngEncoder::encode(image);
  EXPECT_EQ(colourType(png), 2);
  expectDecodesTo(png, image);
  EXPECT_EQ(inflateImageData(png).size(), 203 * (1 + 301 * 3));
}

TEST(PngEncoder, TranslucentImagesAreStraightRgbaAndDecodeExactly) {
  const QImage image = translucent(257, 131);
  const QByteArray png = PngEncoder::encode(image);
  EXPECT_EQ(colourType(png), 6);
  expectDecodesTo(png, image);

  QImage transparent(64, 9, QImage::Format_ARGB32_Premultiplied);
  transparent.fill(Qt::transparent);
  const QByteArray empty = PngEncoder::encode(transparent);
  EXPECT_EQ(colourType(empty), 6);
  expectDecodesTo(empty, transparent);
}

TEST(PngEncoder, OneTranslucentPixelAnywhereMakesTheWholeImageRgba) {
  // The encoder starts as RGB and must start over when a late piece finds alpha.
  QImage image = screenLike(800, 700);
  image.setPixel(799, 699, qPremultiply(qRgba(10, 20, 30, 254)));
  const QByteArray png = PngEncoder::encode(image, 8);
  EXPECT_EQ(colourType(png), 6);
  expectDecodesTo(png, image);
}

TEST(PngEncoder, EveryPremultipliedValueRoundTripsThroughQt) {
  // Row = alpha, column = a colour value up to that alpha: covers alpha 1 and
  // 254 and all the rounding in between.
  QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
  for (int a = 0; a < 256; ++a)
    for (int c = 0; c < 256; ++c) {
      const int v = std::min(c, a);
      image.setPixel(c, a, qRgba(v, a - v / 2, v / 3, a));
    }
  const QByteArray png = PngEncoder::encode(image);
  EXPECT_EQ(colourType(png), 6);
  expectDecodesTo(png, image);
  QImage back;
  ASSERT_TRUE(back.loadFromData(png, "PNG"));
  EXPECT_EQ(back.convertToFormat(QImage::Format_ARGB32_Premultiplied), image);
}

TEST(PngEncoder, OddSizesDecodeExactly) {
  for (const QSize size : {QSize(1, 1), QSize(1, 977), QSize(977, 1), QSize(23, 7), QSize(3, 3), QSize(40003, 2)}) {
    SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
    const QImage opaque = screenLike(size.width(), size.height());
    expectDecodesTo(PngEncoder::encode(opaque), opaque);
    const QImage alpha = translucent(size.width(), size.height());
    expectDecodesTo(PngEncoder::encode(alpha), alpha);
  }
}

TEST(PngEncoder, OtherFormatsAreConvertedNotMisread) {
  const QImage base = translucent(97, 41);
  for (const QImage::Format f : {QImage::Format_ARGB32, QImage::Format_RGB32, QImage::Format_RGB888,
                                 QImage::Format_Grayscale8, QImage::Format_RGBA8888, QImage::Format_RGBA64}) {
    SCOPED_TRACE(int(f));
    const QImage image = base.convertToFormat(f);
    const QByteArray png = PngEncoder::encode(image);
    EXPECT_EQ(colourType(png), image.hasAlphaChannel() ? 6 : 2);
    expectDecodesTo(png, image);
  }
  EXPECT_TRUE(PngEncoder::encode(QImage()).isEmpty());
}

TEST(PngEncoder, OtherColourSpacesAreWrittenAsSrgb) {
  QImage image = screenLike(64, 32);
  image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
  const QImage srgb = image.convertedToColorSpace(QColorSpace(QColorSpace::SRgb));
  expectDecodesTo(PngEncoder::encode(image), srgb);
}

TEST(PngEncoder, BytesDependOnlyOnThePixels) {
  const QImage image = screenLike(1500, 900, 3);
  const QByteArray once = PngEncoder::encode(image, 1);
  EXPECT_EQ(PngEncoder::encode(image, 1), once);
  EXPECT_EQ(PngEncoder::encode(image, 8), once);
  EXPECT_EQ(PngEncoder::encode(image, 3), once);
  if (PngScanlines::vectorUnitsAvailable()) {
    PngScanlines::setVectorUnitsEnabled(false);
    const QByteArray portable = PngEncoder::encode(image, 8);
    PngScanlines::setVectorUnitsEnabled(true);
    EXPECT_EQ(portable, once);
  }
  const QImage alpha = translucent(700, 500);
  EXPECT_EQ(PngEncoder::encode(alpha, 1), PngEncoder::encode(alpha, 8));
}

TEST(PngEncoder, ImagesAroundThePieceSizeDecodeExactly) {
  // Rows of a period that makes matches reach back across piece boundaries.
  const int width = 1000;
  const std::size_t rowBytes = 1 + 3 * width;
  const int rowsPerPiece = int(PngEncoder::pieceBytes / rowBytes);
  for (const int height : {rowsPerPiece - 1, rowsPerPiece, rowsPerPiece + 1, 2 * rowsPerPiece + 1, 5 * rowsPerPiece}) {
    SCOPED_TRACE(height);
    QImage image = screenLike(width, height, std::uint32_t(height));
    QPainter p(&image);
    for (int y = 0; y < height; y += 37)
      p.fillRect(QRect((y * 13) % width, y, 300, 20), QColor(20, 30, 200));
    p.end();
    const QByteArray png = PngEncoder::encode(image, 4);
    expectDecodesTo(png, image);
    EXPECT_EQ(PngEncoder::encode(image, 1), png);
  }
  // A single row longer than a piece.
  const QImage wide = screenLike(int(PngEncoder::pieceBytes / 3) + 5, 3);
  expectDecodesTo(PngEncoder::encode(wide), wide);
}

TEST(PngEncoder, FlatImagesCompressWellAndNoiseStaysBounded) {
  QImage flat(2000, 1000, QImage::Format_ARGB32_Premultiplied);
  flat.fill(QColor(30, 60, 90));
  const QByteArray small = PngEncoder::encode(flat);
  expectDecodesTo(small, flat);
  EXPECT_LT(small.size(), 20000);

  QImage noise(700, 400, QImage::Format_ARGB32_Premultiplied);
  std::mt19937 rng(5);
  for (int y = 0; y < noise.height(); ++y)
    for (int x = 0; x < noise.width(); ++x)
      noise.setPixel(x, y, qRgb(int(rng() & 255), int(rng() & 255), int(rng() & 255)));
  const QByteArray big = PngEncoder::encode(noise);
  expectDecodesTo(big, noise);
  // Incompressible data falls back to stored blocks: little more than the raw rows.
  EXPECT_LT(big.size(), 400 * (1 + 700 * 3) * 101 / 100);
}

// ---- the pieces ----------------------------------------------------------

// Encodes data in pieces split at the given offsets and inflates the result.
std::vector<std::uint8_t> roundTrip(const std::vector<std::uint8_t> &data, const std::vector<std::size_t> &cuts) {
  std::vector<std::uint8_t> padded = data;
  padded.resize(data.size() + DeflateEncoder::readPadding);
  std::vector<std::uint8_t> stream;
  DeflateEncoder encoder;
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    const std::size_t before = stream.size();
    encoder.encode(padded.data(), from, cut, stream);
    if (cut > from) {
      EXPECT_GT(stream.size(), before);
    }
    from = cut;
  }
  stream.push_back(DeflateEncoder::finalBlock[0]);
  stream.push_back(DeflateEncoder::finalBlock[1]);
  std::vector<std::uint8_t> out(data.size() + 1);
  z_stream s{};
  inflateInit2(&s, -15);
  s.next_in = stream.data();
  s.avail_in = uInt(stream.size());
  s.next_out = out.data();
  s.avail_out = uInt(out.size());
  EXPECT_EQ(inflate(&s, Z_FINISH), Z_STREAM_END) << (s.msg ? s.msg : "");
  EXPECT_EQ(s.avail_in, 0u);
  out.resize(s.total_out);
  inflateEnd(&s);
  return out;
}

TEST(DeflateEncoder, PiecesConcatenateIntoOneValidStream) {
  std::mt19937 rng(11);
  auto make = [&](std::size_t n, int kind) {
    std::vector<std::uint8_t> d(n);
    for (std::size_t i = 0; i < n; ++i) {
      switch (kind) {
      case 0: d[i] = std::uint8_t(rng()); break;                                // incompressible
      case 1: d[i] = 0; break;                                                  // one long run
      case 2: d[i] = std::uint8_t((i % 1000) < 500 ? i % 7 : rng() % 3); break; // repeats and a skewed alphabet
      case 3: d[i] = 42; break;                                                 // a single literal symbol
      default: d[i] = std::uint8_t(i / 300); break;                             // runs of every length
      }
    }
    return d;
  };
  for (int kind = 0; kind < 5; ++kind) {
    SCOPED_TRACE(kind);
    const std::vector<std::uint8_t> small = make(5, kind);
    EXPECT_EQ(roundTrip(small, {5}), small);
    EXPECT_EQ(roundTrip(small, {0, 1, 1, 5}), small);
    const std::vector<std::uint8_t> big = make(3'000'000, kind); // several blocks per piece
    EXPECT_EQ(roundTrip(big, {7, 40'000, 40'001, 1'500'000, 3'000'000}), big);
  }
}

TEST(DeflateEncoder, CodesStayWithinFifteenBitsForSkewedAlphabets) {
  // Fibonacci frequencies over 27 symbols would give an optimal code 26 bits
  // deep; deflate allows 15.
  std::vector<std::uint8_t> data;
  std::uint64_t a = 1, b = 1;
  for (int symbol = 0; symbol < 27; ++symbol) {
    data.insert(data.end(), a, std::uint8_t(symbol * 9 + 1));
    const std::uint64_t c = a + b;
    a = b;
    b = c;
  }
  std::shuffle(data.begin(), data.end(), std::mt19937(1));
  EXPECT_EQ(roundTrip(data, {data.size()}), data);
}

// ---- the row work --------------------------------------------------------

TEST(PngScanlines, VectorAndPortableVersionsAgree) {
  if (!PngScanlines::vectorUnitsAvailable())
    GTEST_SKIP() << "no vector units on this machine";
  std::mt19937 rng(3);
  for (const int width : {1, 2, 7, 8, 9, 31, 33, 100, 1001}) {
    std::vector<QRgb> pixels(std::size_t(width) * 2);
    for (QRgb &p : pixels) {
      const int a = rng() % 3 == 0 ? int(rng() & 255) : 255;
      p = qPremultiply(qRgba(int(rng() & 255), int(rng() & 255), int(rng() & 255), a));
    }
    for (const int bpp : {3, 4}) {
      const std::size_t n = std::size_t(width) * std::size_t(bpp);
      const std::size_t m = PngScanlines::rowMargin;
      std::vector<std::uint8_t> rows[2][2];
      std::vector<std::uint8_t> filtered[2], scratch(2 * n + m);
      bool opaque[2] = {};
      for (int v = 0; v < 2; ++v) {
        PngScanlines::setVectorUnitsEnabled(v == 1);
        for (int r = 0; r < 2; ++r) {
          rows[v][r].assign(n + 2 * m, 0);
          if (bpp == 3)
            opaque[v] = PngScanlines::packRgb(pixels.data() + r * width, width, true, rows[v][r].data() + m);
          else
            PngScanlines::packRgba(pixels.data() + r * width, width, true, rows[v][r].data() + m);
        }
        filtered[v].assign(n + 1, 0);
        PngScanlines::filter(rows[v][0].data() + m, rows[v][1].data() + m, n, bpp, filtered[v].data(), scratch.data());
      }
      PngScanlines::setVectorUnitsEnabled(true);
      EXPECT_EQ(opaque[0], opaque[1]);
      EXPECT_TRUE(std::equal(rows[0][1].begin() + std::ptrdiff_t(m), rows[0][1].begin() + std::ptrdiff_t(m + n),
                             rows[1][1].begin() + std::ptrdiff_t(m)))
          << width << " " << bpp;
      EXPECT_EQ(filtered[0], filtered[1]) << width << " " << bpp;
    }
  }
  for (const std::size_t n : {1ul, 31ul, 32ul, 33ul, 5551ul, 5552ul, 5553ul, 100000ul}) {
    std::vector<std::uint8_t> data(n);
    for (auto &b : data)
      b = std::uint8_t(rng() | 0xf0);
    EXPECT_EQ(PngScanlines::adler32(1, data.data(), n), std::uint32_t(adler32_z(1, data.data(), n))) << n;
    EXPECT_EQ(PngScanlines::adler32(0x12345678 % 65521, data.data(), n),
              std::uint32_t(adler32_z(0x12345678 % 65521, data.data(), n)));
  }
}

TEST(PngScanlines, PackingRgbStopsAtTheFirstTranslucentPixel) {
  for (const bool vector : {false, true}) {
    PngScanlines::setVectorUnitsEnabled(vector);
    std::vector<QRgb> pixels(40, qRgb(1, 2, 3));
    std::vector<std::uint8_t> out(40 * 3 + PngScanlines::rowMargin);
    EXPECT_TRUE(PngScanlines::packRgb(pixels.data(), 40, false, out.data()));
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[119], 3);
    pixels[37] = qRgba(0, 0, 0, 0);
    EXPECT_FALSE(PngScanlines::packRgb(pixels.data(), 40, false, out.data()));
    EXPECT_TRUE(PngScanlines::packRgb(pixels.data(), 40, true, out.data()));
  }
  PngScanlines::setVectorUnitsEnabled(true);
}

} // namespace
