#include "CropBuffer.h"

#include <QtConcurrent/QtConcurrentRun>

#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace crel {

struct CropBuffer::Memory {
  void *data = nullptr;
  std::size_t size = 0;
  ~Memory() { std::free(data); }
};

namespace {
void freeMemory(void *data) { std::free(data); }
} // namespace

CropBuffer::~CropBuffer() { drop(); }

void CropBuffer::prepare(std::size_t bytes) {
  drop();
  auto memory = std::make_shared<Memory>();
  memory_ = memory;
  ready_ = QtConcurrent::run([memory, bytes] {
    void *data = std::malloc(bytes);
    if (!data)
      return;
    bool populated = false;
#ifdef MADV_POPULATE_WRITE
    const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const auto start = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(page - 1);
    populated = end <= start || madvise(reinterpret_cast<void *>(start), end - start, MADV_POPULATE_WRITE) == 0;
#endif
    if (!populated)
      std::memset(data, 0, bytes); // an older kernel: touching the pages does it
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
  void *data = std::exchange(memory->data, nullptr);
  QImage image(static_cast<uchar *>(data), size.width(), size.height(), bytesPerLine, format, freeMemory, data);
  if (image.isNull())
    std::free(data);
  return image;
}

void CropBuffer::drop() {
  ready_.waitForFinished();
  memory_.reset();
}

} // namespace crel
