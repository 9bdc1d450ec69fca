#include "ImageOpening.h"

#include "document/CrelError.h"
#include "platform/ImageDecoder.h"
#include "platform/Translate.h"

#include <QColorSpace>
#include <QFile>

namespace crel::ImageOpening {

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
  // The system's one decoder; the check above keeps it to the four formats.
  QImage image = ImageDecoder::read(path);
  if (image.isNull())
    throw CrelError::invalidImage();
  if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace::SRgb)
    image.convertToColorSpace(QColorSpace::SRgb);
  // 16-bit and indexed files become the 8-bit format the editor works in.
  return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

QString nameFilter() { return crel::tr("Images (*.png *.jpg *.jpeg *.tif *.tiff *.heic *.heif)"); }

} // namespace crel::ImageOpening
