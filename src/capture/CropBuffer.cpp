#include "CropBuffer.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

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

// Unmapping populated pages costs about what faulting them in did, a few
// milliseconds for a 4K display: not the main thread's to wait for.
void unmapOnWorker(void *data, std::size_t size) {
  if (!data || size == 0)
    return;
  // Past the end of main the pool is gone.
  if (QThreadPool *pool = QThreadPool::globalInstance())
    pool->start([data, size] { munmap(data, size); });
  else
    munmap(data, size);
}

std::size_t wholePages(std::size_t bytes) {
  const auto page = std::size_t(sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}

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
  void *data = std::exchange(memory->data, nullptr);
  const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
  const std::size_t bytes = std::size_t(bytesPerLine) * std::size_t(size.height());
  if (!data || size.isEmpty() || QImage::toPixelFormat(format).bitsPerPixel() != 32 || bytes > memory->size) {
    unmapOnWorker(data, memory->size);
    return {};
  }
  // The image owns the pages it covers from here on; the rest of the
  // display-sized mapping goes back to the system at once, so an editor of
  // a small selection holds no more than its own pixels.
  const std::size_t kept = std::min(memory->size, wholePages(bytes));
  unmapOnWorker(static_cast<uchar *>(data) + kept, memory->size - kept);
  auto *owned = new Memory{data, kept};
  QImage image(static_cast<uchar *>(data), size.width(), size.height(), bytesPerLine, format, unmap, owned);
  if (image.isNull())
    delete owned;
  return image;
}

void CropBuffer::drop() {
  ready_.waitForFinished();
  if (memory_)
    unmapOnWorker(std::exchange(memory_->data, nullptr), memory_->size);
  memory_.reset();
}

} // namespace crel
