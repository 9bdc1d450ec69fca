#include "app/ImageOpening.h"
#include "document/CrelError.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <zlib.h>

using namespace crel;

namespace {

const QString invalidSentence = "Choose a PNG, JPEG, TIFF, or HEIC image smaller than 80 megapixels.";

QByteArray chunk(const char *type, const QByteArray &data) {
  QByteArray out(4, '\0');
  qToBigEndian<quint32>(quint32(data.size()), out.data());
  const QByteArray body = QByteArray(type) + data;
  out += body;
  QByteArray crc(4, '\0');
  qToBigEndian<quint32>(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))),
                        crc.data());
  return out + crc;
}

// A grey PNG of any size whose pixel data is `rows` rows of zeros (a few
// rows, or none: the header alone claims the size).
QByteArray png(quint32 width, quint32 height, quint32 rows) {
  QByteArray header(13, '\0');
  qToBigEndian<quint32>(width, header.data());
  qToBigEndian<quint32>(height, header.data() + 4);
  header[8] = 8; // 8-bit grey
  QByteArray out = QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header);
  if (rows > 0) {
    const QByteArray raw(qsizetype(rows) * (width + 1), '\0');
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray packed(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef *>(packed.data()), &size, reinterpret_cast<const Bytef *>(raw.constData()),
              uLong(raw.size()), 9);
    packed.resize(qsizetype(size));
    out += chunk("IDAT", packed);
  }
  return out + chunk("IEND", {});
}

// A 40x20 JPEG carrying an EXIF orientation.
QByteArray jpegWithOrientation(quint16 orientation) {
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  QImage(40, 20, QImage::Format_RGB32).save(&buffer, "jpeg");
  // APP1: "Exif\0\0", a big-endian TIFF header and one IFD entry.
  QByteArray tiff("MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 18);
  tiff += char(orientation >> 8);
  tiff += char(orientation & 0xff);
  tiff += QByteArray(6, '\0');
  const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
  QByteArray app1("\xff\xe1", 2);
  app1 += char((payload.size() + 2) >> 8);
  app1 += char((payload.size() + 2) & 0xff);
  return jpeg.left(2) + app1 + payload + jpeg.mid(2);
}

QString write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes) {
  const QString path = dir.filePath(name);
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.write(bytes);
  return path;
}

} // namespace

TEST(ImageOpening, FilesThatAreNotOneOfTheFourFormatsOrBrokenGiveTheSentence) {
  QTemporaryDir dir;
  const QByteArray smallPng = png(4, 4, 4);
  static const char gif[] = "GIF89a\x01\0\x01\0\0\0\0,\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;";
  const std::vector<std::pair<const char *, QByteArray>> files{
      {"empty.png", {}},
      {"text.png", "just some text\n"},
      {"anim.gif", QByteArray(gif, sizeof gif - 1)},
      {"drawing.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'/>"},
      {"bmp.png", QByteArray("BM") + QByteArray(60, '\0')},
      {"truncated.png", smallPng.left(smallPng.size() / 2)},
      {"header-only.png", png(4, 4, 0)},
      {"zero-width.png", png(0, 10, 0)},
      {"one-pixel-too-many.png", png(10000, 8001, 0)},
      // Claims 4 billion pixels: refused from the header, nothing allocated.
      {"bomb.png", png(65535, 65535, 1)},
      {"truncated.jpg", jpegWithOrientation(1).left(200)},
      {"tiff-header-only.tif", QByteArray("II*\0\x08\0\0\0", 8)},
  };
  for (const auto &[name, bytes] : files) {
    try {
      ImageOpening::readImage(write(dir, name, bytes));
      ADD_FAILURE() << name << " opened";
    } catch (const CrelError &error) {
      EXPECT_EQ(error.kind(), CrelError::Kind::invalidImage) << name;
      EXPECT_EQ(CrelError::describe(std::make_exception_ptr(error), {}), invalidSentence) << name;
    }
  }
  EXPECT_THROW(ImageOpening::readImage(dir.filePath("missing.png")), CrelError);
}

TEST(ImageOpening, ImagesOpenFullSizeAndUpright) {
  QTemporaryDir dir;
  QByteArray tiff;
  {
    QBuffer buffer(&tiff);
    buffer.open(QIODevice::WriteOnly);
    QImage(7, 5, QImage::Format_ARGB32).save(&buffer, "tiff");
  }
  const struct {
    const char *name;
    QByteArray bytes;
    QSize size;
  } cases[]{
      {"plain.png", png(30, 20, 20), {30, 20}},
      // An image's name does not decide its format.
      {"png-named.jpg", png(3, 2, 2), {3, 2}},
      {"upright.jpg", jpegWithOrientation(1), {40, 20}},
      {"rotated.jpg", jpegWithOrientation(6), {20, 40}},
      {"picture.tiff", tiff, {7, 5}},
  };
  for (const auto &c : cases) {
    const QImage image = ImageOpening::readImage(write(dir, c.name, c.bytes));
    EXPECT_EQ(image.size(), c.size) << c.name;
    EXPECT_TRUE(image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32) << c.name;
  }
}

TEST(ImageOpening, ExactlyEightyMegapixelsOpens) {
  QTemporaryDir dir;
  const QImage image = ImageOpening::readImage(write(dir, "limit.png", png(10000, 8000, 8000)));
  EXPECT_EQ(image.size(), QSize(10000, 8000));
}
