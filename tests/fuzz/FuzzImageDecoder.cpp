// Opening an image: any bytes give a null image or one within the pixel rule.
#include "FuzzSupport.h"

#include "platform/image/ImageDecoder.h"

using namespace crel;

CREL_FUZZ_ENTRY {
  const QImage image = ImageDecoder::decode(fuzz::bytes(data, size));
  if (!image.isNull() && double(image.width()) * image.height() > ImageDecoder::maxPixels)
    fuzz::fail("an image above the pixel rule decoded");
  return 0;
}
