#include "CropBuffer.h"

#include <QtConcurrent/QtConcurrentRun>

#include <utility>

#include <sys/mman.h>

namespace crel {

// Mapped directly rather than taken from the heap: the worker's malloc arena
// would keep a display-sized block after the image is freed, where an
// unmapping gives it back at once.
struct CropBuffer::Memory {
  void *data = nullptr;
  std::size_t size = 0;
  ~Memory() {
    if (data)
      munmap(data, size);
  }
};

namespace {
void unmap(void *info) { delete static_cast<CropBuffer::Memory *>(info); }
} // namespace

CropBuffer::~CropBuffer() { drop(); }

void CropBuffer::prepare(std::size_t bytes) {
  drop();
  auto memory = std::make_shared<Memory>();
  memory_ = memory;
  ready_ = QtConcurrent::run([memory, bytes] {
    // The kernel fills the page tables here, on the worker, in one go.
    void *data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (data == MAP_FAILED)
      return;
    memory->data = data;
    memory->size = bytes;
  });
}

QImage CropBuffer::take(QSize size, QImage::Format format) {
  if (!memory_)
    return {};
  ready_.waitForFinished();
  const std::shared_ptr<Memory> memory = std::move(memory_);
  const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
  if (!memory->data || size.isEmpty() || QImage::toPixelFormat(format).bitsPerPixel() != 32 ||
      std::size_t(bytesPerLine) * std::size_t(size.height()) > memory->size)
    return {};
  // The image owns the mapping from here on.
  auto *owned = new Memory{std::exchange(memory->data, nullptr), memory->size};
  QImage image(static_cast<uchar *>(owned->data), size.width(), size.height(), bytesPerLine, format, unmap, owned);
  if (image.isNull())
    delete owned;
  return image;
}

void CropBuffer::drop() {
  ready_.waitForFinished();
  memory_.reset();
}

} // namespace crel
