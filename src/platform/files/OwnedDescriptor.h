#pragma once

#include <QString>

#include <utility>

namespace crel {

// A file descriptor of our own: closed when it goes or is replaced, moved
// but never copied.
class OwnedDescriptor {
public:
  OwnedDescriptor() = default;
  explicit OwnedDescriptor(int fd) : fd_(fd) {}
  OwnedDescriptor(OwnedDescriptor &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  OwnedDescriptor &operator=(OwnedDescriptor &&other) noexcept {
    reset(std::exchange(other.fd_, -1));
    return *this;
  }
  OwnedDescriptor(const OwnedDescriptor &) = delete;
  OwnedDescriptor &operator=(const OwnedDescriptor &) = delete;
  ~OwnedDescriptor() { reset(); }

  bool isOpen() const { return fd_ >= 0; }
  int get() const { return fd_; }
  // Closes the one held, unless it is `fd`, and holds `fd`.
  void reset(int fd = -1);
  // Whether `path` names this very file now; a link there is not followed.
  bool isAt(const QString &path) const;

private:
  int fd_ = -1;
};

} // namespace crel
