#include "app/ImageOpening.h"
#include "document/CrelError.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crel;

namespace {

using test::encodedImage;

QString write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes) {
  const QString path = dir.filePath(name);
  test::writeFile(path, bytes);
  return path;
}

} // namespace

// What the shared decoder refuses (size, truncation, orientation) is tested
// with it; here, what only opening adds: the four formats by content, the
// sentence, and the editor's pixel formats.
TEST(ImageOpening, FilesThatAreNotOneOfTheFourFormatsOrBrokenGiveTheSentence) {
  QTemporaryDir dir;
  QImage tiny = test::filledImage({4, 4}, Qt::red, QImage::Format_RGB32);
  const QByteArray smallPng = encodedImage(tiny, "PNG");
  static const char gif[] = "GIF89a\x01\0\x01\0\0\0\0,\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;";
  const std::vector<std::pair<const char *, QByteArray>> files{
      {"empty.png", {}},
      {"text.png", "just some text\n"},
      // Formats Qt itself would read.
      {"anim.gif", QByteArray(gif, sizeof gif - 1)},
      {"picture.png", encodedImage(tiny, "BMP")},
      {"drawing.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'/>"},
      {"truncated.png", smallPng.left(smallPng.size() / 2)},
      {"tiff-header-only.tif", QByteArray("II*\0\x08\0\0\0", 8)},
  };
  for (const auto &[name, bytes] : files) {
    try {
      ImageOpening::readImage(write(dir, name, bytes));
      ADD_FAILURE() << name << " opened";
    } catch (const CrelError &error) {
      EXPECT_EQ(error.kind(), CrelError::Kind::invalidImage) << name;
      EXPECT_EQ(CrelError::describe(std::make_exception_ptr(error), {}),
                "Choose a PNG, JPEG, TIFF, or HEIC image smaller than 80 megapixels.")
          << name;
    }
  }
  EXPECT_THROW(ImageOpening::readImage(dir.filePath("missing.png")), CrelError);
}

TEST(ImageOpening, ImagesOpenFullSizeUprightInTheEditorsFormats) {
  QTemporaryDir dir;
  QImage deep = test::filledImage({7, 5}, QColor(10, 20, 30, 128), QImage::Format_RGBA64);
  QImage grey(3, 2, QImage::Format_Grayscale8);
  grey.fill(90);
  QImage limit(10'000, 8'000, QImage::Format_Mono); // cheap to make even at 80 megapixels
  limit.fill(1);
  const struct {
    const char *name;
    QByteArray bytes;
    QSize size;
    QImage::Format format;
  } cases[]{
      // An image's name does not decide its format.
      {"png-named.jpg", encodedImage(grey, "PNG"), {3, 2}, QImage::Format_RGB32},
      {"rotated.jpg",
       test::jpegWithOrientation(QImage(40, 20, QImage::Format_RGB32), 6),
       {20, 40},
       QImage::Format_RGB32},
      {"sixteen-bit.tiff", encodedImage(deep, "TIFF"), {7, 5}, QImage::Format_ARGB32},
      {"limit.png", encodedImage(limit, "PNG"), {10'000, 8'000}, QImage::Format_RGB32},
  };
  for (const auto &c : cases) {
    const QImage image = ImageOpening::readImage(write(dir, c.name, c.bytes));
    EXPECT_EQ(image.size(), c.size) << c.name;
    EXPECT_EQ(image.format(), c.format) << c.name;
  }
}
