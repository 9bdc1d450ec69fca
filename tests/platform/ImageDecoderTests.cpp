#include "platform/ImageDecoder.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <zlib.h>

#include <cstring>

using namespace crel;

namespace {

void appendChunk(QByteArray &png, const char *type, const QByteArray &payload) {
  const auto put32 = [&png](quint32 v) {
    for (int shift = 24; shift >= 0; shift -= 8)
      png += char((v >> shift) & 0xff);
  };
  put32(quint32(payload.size()));
  const QByteArray body = QByteArray(type, 4) + payload;
  png += body;
  put32(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))));
}

// An 8-bit RGB PNG of one colour, deflated row by row so that even 80
// megapixels need no whole-image buffer; with `headerOnly` it stops after IHDR.
QByteArray solidPng(int width, int height, QRgb colour, bool headerOnly = false) {
  QByteArray png("\x89PNG\r\n\x1a\n", 8);
  QByteArray ihdr(13, '\0');
  for (int i = 0; i < 4; ++i) {
    ihdr[i] = char((width >> (24 - 8 * i)) & 0xff);
    ihdr[4 + i] = char((height >> (24 - 8 * i)) & 0xff);
  }
  ihdr[8] = 8; // bit depth
  ihdr[9] = 2; // RGB
  appendChunk(png, "IHDR", ihdr);
  if (headerOnly)
    return png;
  QByteArray row(1 + 3 * qsizetype(width), '\0');
  for (int x = 0; x < width; ++x) {
    row[1 + 3 * x] = char(qRed(colour));
    row[2 + 3 * x] = char(qGreen(colour));
    row[3 + 3 * x] = char(qBlue(colour));
  }
  z_stream z{};
  deflateInit(&z, 1);
  QByteArray idat;
  QByteArray out(1 << 20, '\0');
  for (int y = 0; y <= height; ++y) {
    z.next_in = reinterpret_cast<Bytef *>(row.data());
    z.avail_in = y < height ? uInt(row.size()) : 0;
    do {
      z.next_out = reinterpret_cast<Bytef *>(out.data());
      z.avail_out = uInt(out.size());
      deflate(&z, y < height ? Z_NO_FLUSH : Z_FINISH);
      idat.append(out.constData(), out.size() - qsizetype(z.avail_out));
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  appendChunk(png, "IDAT", idat);
  appendChunk(png, "IEND", {});
  return png;
}

// Left half red, right half blue: which way up it comes out shows.
QImage halves(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::blue);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width / 2; ++x)
      image.setPixel(x, y, qRgb(255, 0, 0));
  return image;
}

QByteArray heic(const QImage &source, heif_orientation orientation) {
  const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
  heif_context *context = heif_context_alloc();
  heif_image *image = nullptr;
  heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
  heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
  int stride = 0;
  uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < rgb.height(); ++y)
    std::memcpy(plane + y * stride, rgb.constScanLine(y), std::size_t(rgb.width()) * 3);
  heif_encoder *encoder = nullptr;
  heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
  heif_encoder_set_lossy_quality(encoder, 90);
  heif_encoding_options *options = heif_encoding_options_alloc();
  options->image_orientation = orientation;
  heif_context_encode_image(context, image, encoder, options, nullptr);
  heif_encoding_options_free(options);
  heif_encoder_release(encoder);
  heif_image_release(image);
  heif_writer writer{1, [](heif_context *, const void *data, size_t size, void *userdata) {
                       static_cast<QByteArray *>(userdata)->append(static_cast<const char *>(data), qsizetype(size));
                       return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                     }};
  QByteArray bytes;
  heif_context_write(context, &writer, &bytes);
  heif_context_free(context);
  return bytes;
}

bool near(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) < 40 && std::abs(qGreen(a) - qGreen(b)) < 40 && std::abs(qBlue(a) - qBlue(b)) < 40;
}

struct Case {
  const char *name;
  QByteArray bytes;
  QSize size; // invalid: refused
  // Pixels that must come out as given, proving the picture is upright.
  QList<std::pair<QPoint, QRgb>> pixels;
};

} // namespace

TEST(ImageDecoder, DecodesWithinThePixelRuleUprightAndRefusesTheRest) {
  const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), tone = qRgb(10, 120, 230);
  const QByteArray sideways = test::jpegWithOrientation(halves(64, 32), 6);
  const QByteArray svg(R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"/>)");
  const QList<std::pair<QPoint, QRgb>> upright{{{16, 8}, red}, {{16, 56}, blue}};
  const Case cases[] = {
      {"exactly 80 megapixels", solidPng(10'000, 8'000, tone), {10'000, 8'000}, {{{9'999, 7'999}, tone}}},
      {"one row more", solidPng(10'000, 8'001, tone, true), {}, {}},
      {"JPEG turned a quarter", sideways, {32, 64}, upright},
      {"HEIC turned a quarter", heic(halves(64, 32), heif_orientation_rotate_90_cw), {32, 64}, upright},
      {"a truncated PNG", solidPng(64, 64, tone).left(60), {}, {}},
      {"an SVG drawing", svg, {}, {}},
      {"text", "not an image at all", {}, {}},
      {"nothing", {}, {}, {}},
  };
  QTemporaryDir dir;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray &bytes = c.bytes;
    const QString path = dir.filePath("image");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    // The large ones once, from the file; the small ones both ways.
    QList<QImage> images{ImageDecoder::read(path)};
    if (bytes.size() < 100'000)
      images.append(ImageDecoder::decode(bytes));
    for (const QImage &image : images) {
      if (!c.size.isValid()) {
        EXPECT_TRUE(image.isNull());
        continue;
      }
      ASSERT_EQ(image.size(), c.size);
      for (const auto &[at, colour] : c.pixels)
        EXPECT_TRUE(near(image.pixel(at), colour)) << at.x() << "," << at.y() << ": " << std::hex << image.pixel(at);
    }
  }
  EXPECT_TRUE(ImageDecoder::read(dir.filePath("missing.png")).isNull());
}
