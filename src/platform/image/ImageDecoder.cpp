#include "ImageDecoder.h"

#include "HeifDecoderProtocol.h"
#include "HeifHeader.h"
#include "platform/base/DescriptorLimit.h"
#include "platform/files/RegularFile.h"
#include "platform/files/ResourceLocator.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace crel {

namespace {

Q_LOGGING_CATEGORY(lcDecoder, "crel.image", QtInfoMsg)

namespace protocol = HeifDecoderProtocol;
using Refusal = ImageDecoder::Refusal;

bool allowed(double width, double height) {
  return width >= 1 && height >= 1 && width * height <= ImageDecoder::maxPixels;
}

// One limit for both sides, so the orientation, which only swaps them,
// cannot change the verdict.
bool sidesAllowed(int width, int height) { return width <= ImageDecoder::maxSide && height <= ImageDecoder::maxSide; }

QImage refuse(Refusal *refusal, Refusal why) {
  if (refusal)
    *refusal = why;
  return {};
}

// Qt refuses any decode above a process-wide allocation limit (128 MB by
// default, which a 36-megapixel screenshot already exceeds). Sized so that an
// image within the pixel rule decodes even in the widest format Qt uses, 16
// bytes a pixel; the header check is what keeps out larger images. Set before
// every read because other readers in the process set it for their own images.
constexpr int allocationLimitMB = int(ImageDecoder::maxPixels * 16 / (1 << 20)) + 1;

// A large image takes libheif a few seconds; one that takes longer than
// this is not going to finish.
constexpr int heifTimeoutMs = 15'000;

// Every ISO base media file starts with its file-type box. Qt reads none of
// these formats, so all of them go to the helper, which knows which it takes.
bool isHeif(const QByteArray &head) { return head.size() >= 12 && head.mid(4, 4) == "ftyp"; }

std::uint32_t get32(const unsigned char *at) {
  return std::uint32_t(at[0]) << 24 | std::uint32_t(at[1]) << 16 | std::uint32_t(at[2]) << 8 | at[3];
}

// One helper run: the bytes in, the pixels out, the helper killed when it
// overstays. Never a signal for us when the helper goes away early.
class HelperRun {
public:
  explicit HelperRun(const QByteArray &input) : input_(input) {}
  ~HelperRun() {
    if (socket_ >= 0)
      ::close(socket_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      reap();
    }
  }

  QImage run(Refusal *refusal) {
    const QString helper = ResourceLocator::helperProgram(QStringLiteral("crel-heif-decoder"));
    if (helper.isEmpty()) {
      qCWarning(lcDecoder) << "crel-heif-decoder is missing; HEIF images cannot be opened";
      return refuse(refusal, Refusal::noDecoder);
    }
    if (const int error = start(QFile::encodeName(helper)); error != 0) {
      qCWarning(lcDecoder) << "crel-heif-decoder could not start:" << std::strerror(error);
      return refuse(refusal, notStarted(error));
    }
    const bool complete = exchange();
    ::close(socket_);
    socket_ = -1;
    if (!complete)
      ::kill(pid_, SIGKILL);
    const int status = reap();
    if (complete && WIFEXITED(status) && WEXITSTATUS(status) == protocol::decoded && received_ == expected_)
      return image_;
    if (WIFEXITED(status) && WEXITSTATUS(status) == protocol::tooLarge)
      return refuse(refusal, Refusal::tooLarge);
    // What the shell and the dynamic loader say of a program that cannot
    // run (a library missing or mismatched): the copy is at fault, not the file.
    if (WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127) && header_.empty()) {
      qCWarning(lcDecoder) << "crel-heif-decoder could not run, exit status" << WEXITSTATUS(status);
      return refuse(refusal, Refusal::noDecoder);
    }
    if (noMemory_)
      return refuse(refusal, Refusal::noMemory);
    if (WIFSIGNALED(status))
      qCInfo(lcDecoder) << "crel-heif-decoder ended by signal" << WTERMSIG(status);
    return refuse(refusal, Refusal::notImage);
  }

private:
  static Refusal notStarted(int error) {
    switch (error) {
    case EAGAIN:
    case ENOMEM:
    case ENOBUFS: return Refusal::noProcess;
    case EMFILE:
    case ENFILE: return Refusal::noDescriptors;
    default: return Refusal::noDecoder; // what exec says of the program: ENOENT, EACCES, ENOEXEC...
    }
  }

  // 0 once the helper runs, else why it does not.
  int start(const QByteArray &program) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
      return errno;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pair[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    QByteArray limit = QByteArray::number(DescriptorLimit::startingSoftLimit());
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(protocol::descriptorLimitSwitch),
                    limit.data(), nullptr};
    const int error = posix_spawn(&pid_, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    socket_ = pair[0];
    if (error != 0) {
      pid_ = -1;
      return error;
    }
    return ::fcntl(socket_, F_SETFL, ::fcntl(socket_, F_GETFL) | O_NONBLOCK) == 0 ? 0 : errno;
  }

  // True once the helper closed its end after all it said made sense.
  bool exchange() {
    const QDeadlineTimer deadline(heifTimeoutMs);
    qsizetype sent = 0;
    bool inputClosed = false;
    for (;;) {
      if (!inputClosed && sent == input_.size()) {
        ::shutdown(socket_, SHUT_WR);
        inputClosed = true;
      }
      pollfd p{socket_, short(POLLIN | (inputClosed ? 0 : POLLOUT)), 0};
      const qint64 left = deadline.remainingTime();
      if (left <= 0)
        return false;
      const int ready = ::poll(&p, 1, int(left));
      if (ready < 0 && errno == EINTR)
        continue;
      if (ready <= 0)
        return false;
      if (!inputClosed && (p.revents & POLLOUT)) {
        const ssize_t n = ::send(socket_, input_.constData() + sent, size_t(input_.size() - sent), MSG_NOSIGNAL);
        if (n > 0)
          sent += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
          inputClosed = true; // the helper stopped reading: its exit status tells
      }
      if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
        const int got = receive();
        if (got < 0)
          return false;
        if (got == 0)
          return true;
      }
    }
  }

  // -1: nonsense or a read error; 0: end of output; 1: more to come.
  int receive() {
    for (;;) {
      unsigned char *target = nullptr;
      std::size_t room = 0;
      if (!image_.isNull()) {
        target = image_.bits() + received_;
        room = expected_ - received_;
      } else {
        const std::size_t want = header_.size() < protocol::headerSize
                                     ? protocol::headerSize
                                     : protocol::headerSize + get32(header_.data() + 20);
        target = header_.data() + header_.size();
        room = want - header_.size();
        if (room == 0)
          return startImage() ? 1 : -1;
      }
      if (room == 0) {
        // The pixels are all here; anything more is not ours to take.
        char extra;
        const ssize_t n = ::recv(socket_, &extra, 1, 0);
        if (n == 0)
          return 0;
        return n < 0 && (errno == EAGAIN || errno == EINTR) ? 1 : -1;
      }
      std::vector<unsigned char> chunk;
      if (image_.isNull())
        chunk.resize(room);
      const ssize_t n = ::recv(socket_, image_.isNull() ? chunk.data() : target, room, 0);
      if (n < 0)
        return errno == EAGAIN || errno == EINTR ? 1 : -1;
      if (n == 0)
        return 0; // early end: received_ tells it apart
      if (image_.isNull())
        header_.insert(header_.end(), chunk.begin(), chunk.begin() + n);
      else
        received_ += std::size_t(n);
    }
  }

  bool startImage() {
    if (std::memcmp(header_.data(), protocol::magic, sizeof protocol::magic) != 0)
      return false;
    const std::uint32_t width = get32(header_.data() + 8), height = get32(header_.data() + 12);
    const std::uint32_t flags = get32(header_.data() + 16), profileSize = get32(header_.data() + 20);
    if (profileSize > protocol::maxProfileBytes)
      return false;
    if (header_.size() < protocol::headerSize + profileSize)
      return true; // the profile is still on its way
    if (!allowed(width, height))
      return false;
    image_ =
        QImage(int(width), int(height),
               (flags & protocol::premultiplied) ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888);
    // Null: the pixels cannot be allocated, which is no fault of the file.
    noMemory_ = image_.isNull();
    if (image_.isNull() || image_.bytesPerLine() != qsizetype(width) * 4)
      return false;
    if (profileSize > 0)
      image_.setColorSpace(QColorSpace::fromIccProfile(
          QByteArray(reinterpret_cast<const char *>(header_.data() + protocol::headerSize), profileSize)));
    alpha_ = flags & protocol::hasAlpha;
    expected_ = std::size_t(width) * height * 4;
    return true;
  }

  int reap() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

public:
  bool alpha() const { return alpha_; }

private:
  const QByteArray &input_;
  pid_t pid_ = -1;
  int socket_ = -1;
  std::vector<unsigned char> header_;
  QImage image_;
  std::size_t expected_ = 0, received_ = 0;
  bool alpha_ = false;
  bool noMemory_ = false;
};

// A conversion's result: null only when its pixels could not be allocated.
QImage converted(const QImage &image, QImage::Format format, Refusal *refusal) {
  QImage result = image.convertToFormat(format);
  return result.isNull() ? refuse(refusal, Refusal::noMemory) : result;
}

QImage decodeHeif(const QByteArray &data, Refusal *refusal, const ImageDecoder::Affordable &affordable) {
  if (std::size_t(data.size()) > protocol::maxInputBytes)
    return refuse(refusal, Refusal::notImage);
  // Refused here without starting a process; the helper checks again.
  double largest = 0;
  switch (HeifHeader::check(reinterpret_cast<const unsigned char *>(data.constData()), std::size_t(data.size()),
                            ImageDecoder::maxPixels, &largest)) {
  case HeifHeader::Verdict::allowed: break;
  case HeifHeader::Verdict::tooLarge: return refuse(refusal, Refusal::tooLarge);
  case HeifHeader::Verdict::noPixels: return refuse(refusal, Refusal::noPixels);
  case HeifHeader::Verdict::malformed: return refuse(refusal, Refusal::notImage);
  }
  if (affordable && !affordable(largest))
    return refuse(refusal, Refusal::noMemory);
  HelperRun run(data);
  const QImage image = run.run(refusal);
  if (image.isNull())
    return image;
  if (!sidesAllowed(image.width(), image.height()))
    return refuse(refusal, Refusal::sideTooLong);
  return converted(image, run.alpha() ? QImage::Format_ARGB32 : QImage::Format_RGB32, refusal);
}

QImage decodeDevice(QIODevice &device, Refusal *refusal, const ImageDecoder::Affordable &affordable) {
  if (isHeif(device.peek(64))) {
    if (device.size() > qint64(protocol::maxInputBytes))
      return refuse(refusal, Refusal::notImage);
    QByteArray data;
    try {
      data = device.readAll();
    } catch (const std::bad_alloc &) {
      return refuse(refusal, Refusal::noMemory);
    }
    return decodeHeif(data, refusal, affordable);
  }
  QImageReader::setAllocationLimit(allocationLimitMB);
  QImageReader reader(&device);
  reader.setAutoTransform(true);
  // A vector drawing has no pixel size of its own to hold to the rule.
  const QByteArray format = reader.format();
  if (format.isEmpty() || format.startsWith("svg"))
    return refuse(refusal, Refusal::notImage);
  const QSize size = reader.size();
  if (!size.isValid())
    return refuse(refusal, Refusal::notImage);
  if (!allowed(size.width(), size.height()))
    return refuse(refusal, size.width() >= 1 && size.height() >= 1 ? Refusal::tooLarge : Refusal::noPixels);
  if (!sidesAllowed(size.width(), size.height()))
    return refuse(refusal, Refusal::sideTooLong);
  if (affordable && !affordable(double(size.width()) * size.height()))
    return refuse(refusal, Refusal::noMemory);
  const QImage image = reader.read();
  // A decoder that disagrees with its own header must not slip past the
  // rules. Qt's decoders say no more than "failed" when their pixels cannot
  // be allocated: an image of that size that cannot be made now tells it.
  if (image.isNull())
    return refuse(refusal, QImage(size, QImage::Format_ARGB32).isNull() ? Refusal::noMemory : Refusal::notImage);
  if (!allowed(image.width(), image.height()))
    return refuse(refusal, Refusal::tooLarge);
  if (!sidesAllowed(image.width(), image.height()))
    return refuse(refusal, Refusal::sideTooLong);
  return image;
}

Refusal refusalFor(int error) {
  return error == ENOENT || error == ENOTDIR || error == ELOOP ? Refusal::notFound : Refusal::notReadable;
}

} // namespace

QImage ImageDecoder::read(const QString &path, Refusal *refusal,
                          const std::function<bool(const QByteArray &head)> &accepts, const Affordable &affordable) {
  if (refusal)
    *refusal = Refusal::none;
  // A FIFO, socket or device may block on open or never end; a folder is no image.
  const RegularFile::Opened opened = RegularFile::open(path, RegularFile::Links::follow);
  switch (opened.outcome) {
  case RegularFile::Outcome::opened: break;
  case RegularFile::Outcome::notRegular: return refuse(refusal, Refusal::notRegularFile);
  case RegularFile::Outcome::lookFailed:
  case RegularFile::Outcome::openFailed: return refuse(refusal, refusalFor(opened.error));
  }
  QFile file;
  if (!file.open(opened.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(opened.fd);
    return refuse(refusal, Refusal::notReadable);
  }
  if (accepts && !accepts(file.peek(32)))
    return refuse(refusal, Refusal::notImage);
  return decodeDevice(file, refusal, affordable);
}

QImage ImageDecoder::decode(const QByteArray &data, Refusal *refusal, const Affordable &affordable) {
  if (refusal)
    *refusal = Refusal::none;
  QBuffer buffer;
  buffer.setData(data);
  if (!buffer.open(QIODevice::ReadOnly))
    return refuse(refusal, Refusal::notImage);
  return decodeDevice(buffer, refusal, affordable);
}

} // namespace crel
