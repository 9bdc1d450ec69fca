#include "ImageDecoder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace crel {

namespace {

bool allowed(double width, double height) {
  return width >= 1 && height >= 1 && width * height <= ImageDecoder::maxPixels;
}

// Qt refuses any decode above a process-wide allocation limit (128 MB by
// default, which a 36-megapixel screenshot already exceeds). Sized so that an
// image within the pixel rule decodes even in the widest format Qt uses, 16
// bytes a pixel; the header check is what keeps out larger images. Set before
// every read because other readers in the process set it for their own images.
constexpr int allocationLimitMB = int(ImageDecoder::maxPixels * 16 / (1 << 20)) + 1;

template <class T, void (*Free)(T *)> struct Deleter {
  void operator()(T *p) const { Free(p); }
};
template <class T, void (*Free)(T *)> using HeifPtr = std::unique_ptr<T, Deleter<T, Free>>;

void releaseHandle(heif_image_handle *h) { heif_image_handle_release(h); }
void releaseImage(heif_image *i) { heif_image_release(i); }

bool isHeif(const QByteArray &head) {
  return head.size() >= 12 && head.mid(4, 4) == "ftyp" &&
         heif_check_filetype(reinterpret_cast<const uint8_t *>(head.constData()), int(head.size())) != heif_filetype_no;
}

// libheif applies the file's rotation and mirroring while decoding.
QImage decodeHeif(const QByteArray &data) {
  const HeifPtr<heif_context, heif_context_free> context(heif_context_alloc());
  if (!context ||
      heif_context_read_from_memory_without_copy(context.get(), data.constData(), size_t(data.size()), nullptr).code !=
          heif_error_Ok)
    return {};
  heif_image_handle *rawHandle = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
    return {};
  const HeifPtr<heif_image_handle, releaseHandle> handle(rawHandle);
  if (!allowed(heif_image_handle_get_width(rawHandle), heif_image_handle_get_height(rawHandle)))
    return {};
  // A tiled image's grid names its own output size, which libheif does not
  // hold to the size the file declares: a few hundred bytes could make it
  // allocate gigabytes. No side may be longer than a declared one.
  const int longestSide =
      std::max({heif_image_handle_get_width(rawHandle), heif_image_handle_get_height(rawHandle),
                heif_image_handle_get_ispe_width(rawHandle), heif_image_handle_get_ispe_height(rawHandle)});
  heif_context_set_maximum_image_size_limit(context.get(), longestSide + 1);
  const bool alpha = heif_image_handle_has_alpha_channel(rawHandle);
  heif_image *rawImage = nullptr;
  if (heif_decode_image(rawHandle, &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code !=
      heif_error_Ok)
    return {};
  const HeifPtr<heif_image, releaseImage> image(rawImage);
  const int width = heif_image_get_width(rawImage, heif_channel_interleaved);
  const int height = heif_image_get_height(rawImage, heif_channel_interleaved);
  int stride = 0;
  const uint8_t *pixels = heif_image_get_plane_readonly(rawImage, heif_channel_interleaved, &stride);
  if (!pixels || !allowed(width, height))
    return {};
  QImage out(width, height,
             heif_image_handle_is_premultiplied_alpha(rawHandle) ? QImage::Format_RGBA8888_Premultiplied
                                                                 : QImage::Format_RGBA8888);
  if (out.isNull())
    return {};
  for (int y = 0; y < height; ++y)
    std::memcpy(out.scanLine(y), pixels + std::size_t(y) * std::size_t(stride), std::size_t(width) * 4);
  if (heif_image_handle_get_color_profile_type(rawHandle) == heif_color_profile_type_prof) {
    QByteArray icc(qsizetype(heif_image_handle_get_raw_color_profile_size(rawHandle)), Qt::Uninitialized);
    if (heif_image_handle_get_raw_color_profile(rawHandle, icc.data()).code == heif_error_Ok)
      out.setColorSpace(QColorSpace::fromIccProfile(icc));
  }
  return out.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

QImage decodeDevice(QIODevice &device) {
  if (isHeif(device.peek(64)))
    return decodeHeif(device.readAll());
  QImageReader::setAllocationLimit(allocationLimitMB);
  QImageReader reader(&device);
  reader.setAutoTransform(true);
  // A vector drawing has no pixel size of its own to hold to the rule.
  const QByteArray format = reader.format();
  if (format.isEmpty() || format.startsWith("svg"))
    return {};
  const QSize size = reader.size();
  if (!size.isValid() || !allowed(size.width(), size.height()))
    return {};
  const QImage image = reader.read();
  // A decoder that disagrees with its own header must not slip past the rule.
  if (image.isNull() || !allowed(image.width(), image.height()))
    return {};
  return image;
}

} // namespace

QImage ImageDecoder::read(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return {};
  return decodeDevice(file);
}

QImage ImageDecoder::decode(const QByteArray &data) {
  QBuffer buffer;
  buffer.setData(data);
  if (!buffer.open(QIODevice::ReadOnly))
    return {};
  return decodeDevice(buffer);
}

} // namespace crel
