#include "platform/image/ImageDecoder.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <zlib.h>

#include <cstring>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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
      // The longest side an image can be saved with, and one pixel more.
      {"the longest side", blankPng(32'768, 2), {32'768, 2}, {}},
      {"one column more", blankPng(32'769, 2), {}, {}},
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

namespace {

QByteArray box(const char *type, const QByteArray &payload) {
  QByteArray b;
  const quint32 size = quint32(8 + payload.size());
  for (int i = 3; i >= 0; --i)
    b.append(char(size >> (8 * i)));
  return b + QByteArray(type, 4) + payload;
}
QByteArray fullBox(const char *type, const QByteArray &payload) { return box(type, QByteArray(4, 0) + payload); }
QByteArray be(std::initializer_list<std::pair<quint32, int>> fields) {
  QByteArray b;
  for (const auto &[value, bytes] : fields)
    for (int i = bytes - 1; i >= 0; --i)
      b.append(char(value >> (8 * i)));
  return b;
}

// A HEIF whose primary item is an identity transform of an item that does
// not exist: libheif 1.15 aborts on its own assertion decoding it.
QByteArray identityOfNothing() {
  const QByteArray infe = box("infe", QByteArray("\x02\0\0\0", 4) + be({{1, 2}, {0, 2}}) + "iden" + QByteArray(1, 0));
  const QByteArray iloc = box("iloc", QByteArray("\x01\0\0\0", 4) +
                                          be({{0x4400, 2}, {1, 2}, {1, 2}, {1, 2}, {0, 2}, {1, 2}, {0, 4}, {1, 4}}));
  const QByteArray meta =
      fullBox("meta", fullBox("hdlr", QByteArray(4, 0) + "pict" + QByteArray(13, 0)) + fullBox("pitm", be({{1, 2}})) +
                          iloc + box("idat", QByteArray(1, 0)) + fullBox("iinf", be({{1, 2}}) + infe) +
                          fullBox("iref", box("dimg", be({{1, 2}, {1, 2}, {5, 2}}))) +
                          box("iprp", box("ipco", fullBox("ispe", be({{8, 4}, {8, 4}}))) +
                                          fullBox("ipma", be({{1, 4}, {1, 2}, {1, 1}, {0x81, 1}}))));
  return box("ftyp", "heic" + QByteArray(4, 0) + "mif1heic") + meta;
}

// A real one-tile grid of 8 × 16 whose grid box asks for 15475 × 30311
// (469 megapixels) and whose image then declares 8 × 32016: no side longer
// than a declared one, the area far beyond the rule.
QByteArray gridLargerThanItsImage() {
  QByteArray bytes = test::contents(CREL_SOURCE_DIR "/tests/fuzz/corpus/image_decoder/oversized-grid.heic");
  const qsizetype ispe = bytes.indexOf(be({{8, 4}, {16, 4}}));
  if (ispe > 0)
    bytes.replace(ispe, 8, be({{8, 4}, {32016, 4}}));
  return bytes;
}

} // namespace

// Crafted HEIF files cost neither the process nor its memory: what libheif
// would allocate is checked from the boxes first, and what it would abort
// on ends only its helper process.
TEST(ImageDecoder, HostileHeifFilesAreRefusedWithoutHarm) {
  const struct {
    const char *name;
    QByteArray bytes;
    ImageDecoder::Refusal refusal;
  } cases[]{
      {"an identity of no image", identityOfNothing(), ImageDecoder::Refusal::notImage},
      {"a grid larger than its image", gridLargerThanItsImage(), ImageDecoder::Refusal::tooLarge},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_GT(c.bytes.size(), 100);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    ImageDecoder::Refusal refusal{};
    EXPECT_TRUE(ImageDecoder::decode(c.bytes, &refusal).isNull());
    EXPECT_EQ(refusal, c.refusal);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    // ru_maxrss is the peak in KiB: it must not grow by what one allowed image may take.
    EXPECT_LT(double(after.ru_maxrss - before.ru_maxrss) * 1024, ImageDecoder::maxPixels * 4);
  }
}

// Only a regular file is opened: a FIFO would block the open for good.
TEST(ImageDecoder, WhatIsNotARegularFileIsRefusedBeforeItIsOpened) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath("fifo.png"), socketPath = dir.filePath("socket.png");
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, QFile::encodeName(socketPath).constData(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
  const QString locked = dir.filePath("locked.png");
  test::writeFile(locked, blankPng(4, 4));
  ::chmod(QFile::encodeName(locked).constData(), 0);
  using R = ImageDecoder::Refusal;
  std::vector<std::pair<QString, R>> cases{
      {fifo, R::notRegularFile},       {socketPath, R::notRegularFile},         {"/dev/zero", R::notRegularFile},
      {dir.path(), R::notRegularFile}, {dir.filePath("gone.png"), R::notFound}, {locked + "/x", R::notFound}};
  if (geteuid() != 0) // permissions do not hold root back
    cases.emplace_back(locked, R::notReadable);
  for (const auto &[path, expected] : cases) {
    SCOPED_TRACE(path.toStdString());
    // Read away from the test's thread: a blocked open fails the case, not the run.
    auto result = std::make_shared<std::promise<R>>();
    std::future<R> done = result->get_future();
    std::thread([path = path, result] {
      R refusal{};
      ImageDecoder::read(path, &refusal);
      result->set_value(refusal);
    }).detach();
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "the read blocked";
      // Lets the blocked open go on so the thread can end.
      ::close(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK));
      continue;
    }
    EXPECT_EQ(done.get(), expected);
  }
  ::close(listening);
}
