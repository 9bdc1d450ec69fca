#include "platform/ImageDecoder.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <zlib.h>

#include <cstring>

#include <sys/resource.h>

using namespace crel;

namespace {

// A one-bit PNG of the size: cheap to make and to decode even at 80 megapixels.
QByteArray blankPng(int width, int height) {
  QImage image(width, height, QImage::Format_Mono);
  image.fill(1);
  return test::encodedImage(image, "PNG");
}

// A small PNG whose header claims a size its data does not have.
QByteArray claimingPng(quint32 width, quint32 height) {
  QByteArray png = blankPng(8, 8);
  for (int i = 0; i < 4; ++i) {
    png[16 + i] = char(width >> (24 - 8 * i));
    png[20 + i] = char(height >> (24 - 8 * i));
  }
  const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(png.constData() + 12), 17));
  for (int i = 0; i < 4; ++i)
    png[29 + i] = char(crc >> (24 - 8 * i));
  return png;
}

// Left half red, right half blue: which way up it comes out shows.
QImage halves(int width, int height) {
  return test::generatedImage(
      {width, height}, [&](int x, int) { return x < width / 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255); },
      QImage::Format_RGB32);
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
  const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
  const QByteArray sideways = test::jpegWithOrientation(halves(64, 32), 6);
  const QByteArray svg(R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"/>)");
  const QList<std::pair<QPoint, QRgb>> upright{{{16, 8}, red}, {{16, 56}, blue}};
  const Case cases[] = {
      {"exactly 80 megapixels", blankPng(10'000, 8'000), {10'000, 8'000}, {{{9'999, 7'999}, qRgb(255, 255, 255)}}},
      {"one row more", blankPng(10'000, 8'001), {}, {}},
      // Four billion pixels claimed: refused from the header, nothing allocated.
      {"a PNG bomb", claimingPng(65'535, 65'535), {}, {}},
      {"zero width", claimingPng(0, 8), {}, {}},
      {"JPEG turned a quarter", sideways, {32, 64}, upright},
      {"HEIC turned a quarter", heic(halves(64, 32), heif_orientation_rotate_90_cw), {32, 64}, upright},
      {"a truncated PNG", blankPng(640, 64).left(60), {}, {}},
      {"an SVG drawing", svg, {}, {}},
      {"text", "not an image at all", {}, {}},
      {"nothing", {}, {}, {}},
  };
  QTemporaryDir dir;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray &bytes = c.bytes;
    const QString path = dir.filePath("image");
    test::writeFile(path, bytes);
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

// 535 bytes whose tile grid claims 15475 × 30311 pixels while the image
// declares 8 × 16: refused before the grid is allocated, not after.
TEST(ImageDecoder, HeicGridLargerThanItsImageCostsNoMemory) {
  const QByteArray bytes = test::contents(CREL_SOURCE_DIR "/tests/fuzz/corpus/image_decoder/oversized-grid.heic");
  ASSERT_FALSE(bytes.isEmpty());
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  EXPECT_TRUE(ImageDecoder::decode(bytes).isNull());
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  // ru_maxrss is the peak in KiB: it must not grow by what one allowed image may take.
  EXPECT_LT(double(after.ru_maxrss - before.ru_maxrss) * 1024, ImageDecoder::maxPixels * 4);
}
