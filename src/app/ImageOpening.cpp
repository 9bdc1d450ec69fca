#include "ImageOpening.h"

#include "document/CrelError.h"
#include "platform/Translate.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>

namespace crel::ImageOpening {

namespace {

constexpr double maxPixels = 80'000'000;

bool allowed(double width, double height) { return width >= 1 && height >= 1 && width * height <= maxPixels; }

// Qt refuses a decode above its process-wide allocation limit (128 MB by
// default, below an 80-megapixel image); raised only once the header has
// passed the pixel rule, to what the widest format Qt uses needs.
constexpr int allocationLimitMB = int(maxPixels * 16 / (1 << 20)) + 1;

// The one place a checked file becomes pixels.
QImage decode(const QString &path, Format format) {
  if (format == Format::heic)
    return {}; // no HEIC decoder is linked yet
  QImageReader reader(path, format == Format::png ? "png" : format == Format::jpeg ? "jpeg" : "tiff");
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  if (!size.isValid() || !allowed(size.width(), size.height()))
    return {};
  QImageReader::setAllocationLimit(allocationLimitMB);
  const QImage image = reader.read();
  if (image.isNull() || !allowed(image.width(), image.height()))
    return {};
  return image;
}

} // namespace

Format sniff(const QByteArray &head) {
  if (head.startsWith("\x89PNG\r\n\x1a\n"))
    return Format::png;
  if (head.startsWith("\xff\xd8\xff"))
    return Format::jpeg;
  if (head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4)))
    return Format::tiff;
  if (head.size() >= 12 && head.mid(4, 4) == "ftyp") {
    const QByteArray brand = head.mid(8, 4);
    if (brand == "heic" || brand == "heix" || brand == "mif1" || brand == "msf1" || brand == "heim" || brand == "heis")
      return Format::heic;
  }
  return Format::none;
}

QImage readImage(const QString &path) {
  QFile file(path);
  const Format format = file.open(QIODevice::ReadOnly) ? sniff(file.read(32)) : Format::none;
  file.close();
  if (format == Format::none)
    throw CrelError::invalidImage();
  QImage image = decode(path, format);
  if (image.isNull())
    throw CrelError::invalidImage();
  if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace::SRgb)
    image.convertToColorSpace(QColorSpace::SRgb);
  // 16-bit and indexed files become the 8-bit format the editor works in.
  return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

QString nameFilter() { return crel::tr("Images (*.png *.jpg *.jpeg *.tif *.tiff *.heic *.heif)"); }

} // namespace crel::ImageOpening
