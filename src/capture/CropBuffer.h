#pragma once

#include <QFuture>
#include <QImage>

#include <cstddef>
#include <memory>

namespace crel {

// Memory for the crop of a capture, made ready while the user selects: a
// fresh display-sized buffer costs the mouse-up its page faults (most of the
// crop's time on a 4K display). A worker maps it and has the kernel fill
// its page tables; the crop then only copies.
class CropBuffer {
public:
  CropBuffer() = default;
  ~CropBuffer();
  CropBuffer(const CropBuffer &) = delete;
  CropBuffer &operator=(const CropBuffer &) = delete;

  // Starts making `bytes` ready on a worker, dropping any buffer not taken.
  void prepare(std::size_t bytes);
  // An image of `size` and `format` over the start of the buffer, when the
  // buffer is there and large enough; else a null image. The image owns the
  // pages it covers; the rest of the buffer is given back. Waits for the
  // worker when it has not finished.
  QImage take(QSize size, QImage::Format format);
  // Frees a buffer not taken (a cancelled capture).
  void drop();

  struct Memory;

private:
  std::shared_ptr<Memory> memory_;
  QFuture<void> ready_;
};

} // namespace crel
