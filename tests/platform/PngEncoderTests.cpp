#include "platform/image/DeflateEncoder.h"
#include "platform/image/PngEncoder.h"
#include "platform/image/PngScanlines.h"
#include "support/TestSupport.h"

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

bool opaque(const QImage &image) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); ++y)
    for (int x = 0; x < argb.width(); ++x)
      if (qAlpha(argb.pixel(x, y)) != 255)
        return false;
  return true;
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
  return test::generatedImage(
      source.size(), [&](int x, int y) { return qUnpremultiply(source.pixel(x, y)); }, QImage::Format_ARGB32);
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
  std::mt19937 rng(seed);
  return test::generatedImage({width, height}, [&](int x, int y) {
    if ((x / 16 + y / 16) % 3 == 0)
      return qRgb(240, 240, 244);
    if ((x / 16 + y / 16) % 3 == 1)
      return qRgb(x & 255, y & 255, (x * y) & 255);
    return qRgb(int(rng() & 255), int(rng() & 255), int(rng() & 255));
  });
}

QImage translucent(int width, int height) {
  std::mt19937 rng(7);
  return test::generatedImage({width, height}, [&](int x, int y) {
    const int a = x % 5 == 0 ? 255 : int(rng() % 256);
    return qPremultiply(qRgba(int(rng() & 255), x & 255, y & 255, a));
  });
}

// ---- the PNG as a whole --------------------------------------------------

// Every image, in whatever format, decodes exactly to its straight-alpha
// sRGB pixels, RGB when opaque and RGBA otherwise; any number of threads and
// the vector or portable row code give the same bytes (widths around the
// vector lanes included).
TEST(PngEncoder, EveryImageDecodesExactlyInTheColourTypeItNeeds) {
  struct Case {
    std::string name;
    QImage image;
    QImage expected; // null: the image itself
  };
  std::vector<Case> cases;
  cases.push_back({"several pieces", screenLike(1500, 900, 3), {}});
  QImage lateAlpha = screenLike(800, 700); // the encoder must start over when a late piece finds alpha
  lateAlpha.setPixel(799, 699, qPremultiply(qRgba(10, 20, 30, 254)));
  cases.push_back({"alpha in the last pixel", lateAlpha, {}});
  QImage transparent = test::filledImage({64, 9}, Qt::transparent);
  cases.push_back({"transparent", transparent, {}});
  // Row = alpha, column = a colour value up to that alpha: all the rounding.
  const QImage premultiplied = test::generatedImage(
      {256, 256}, [](int c, int a) { return qRgba(std::min(c, a), a - std::min(c, a) / 2, std::min(c, a) / 3, a); });
  cases.push_back({"every premultiplied value", premultiplied, {}});
  QImage p3 = screenLike(64, 32);
  p3.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
  cases.push_back({"Display P3", p3, p3.convertedToColorSpace(QColorSpace(QColorSpace::SRgb))});
  for (const QSize size : {QSize(1, 1), QSize(1, 977), QSize(977, 1), QSize(2, 3), QSize(7, 5), QSize(9, 4),
                           QSize(31, 3), QSize(33, 3), QSize(301, 203), QSize(40003, 2)}) {
    const std::string name = std::to_string(size.width()) + "x" + std::to_string(size.height());
    cases.push_back({name + " opaque", screenLike(size.width(), size.height()), {}});
    cases.push_back({name + " translucent", translucent(size.width(), size.height()), {}});
  }
  for (const QImage::Format f : {QImage::Format_ARGB32, QImage::Format_RGB32, QImage::Format_RGB888,
                                 QImage::Format_Grayscale8, QImage::Format_RGBA8888, QImage::Format_RGBA64})
    cases.push_back({"format " + std::to_string(int(f)), translucent(97, 41).convertToFormat(f), {}});

  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const QImage &expected = c.expected.isNull() ? c.image : c.expected;
    const QByteArray png = PngEncoder::encode(c.image, 8);
    EXPECT_EQ(PngEncoder::encode(c.image, 1), png) << "the bytes depend only on the pixels";
    EXPECT_EQ(colourType(png), opaque(expected) ? 2 : 6);
    EXPECT_EQ(inflateImageData(png).size(), expected.height() * (1 + expected.width() * (opaque(expected) ? 3 : 4)));
    expectDecodesTo(png, expected);
    if (PngScanlines::vectorUnitsAvailable()) {
      PngScanlines::setVectorUnitsEnabled(false);
      EXPECT_EQ(PngEncoder::encode(c.image, 8), png) << "the portable row code";
      PngScanlines::setVectorUnitsEnabled(true);
    }
  }
  EXPECT_TRUE(PngEncoder::encode(QImage()).isEmpty());
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
  QImage flat = test::filledImage({2000, 1000}, QColor(30, 60, 90));
  const QByteArray small = PngEncoder::encode(flat);
  expectDecodesTo(small, flat);
  EXPECT_LT(small.size(), 20000);

  std::mt19937 rng(5);
  const QImage noise = test::generatedImage(
      {700, 400}, [&](int, int) { return qRgb(int(rng() & 255), int(rng() & 255), int(rng() & 255)); });
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

} // namespace
