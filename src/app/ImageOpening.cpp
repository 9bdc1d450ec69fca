#include "ImageOpening.h"

#include "ForwardedLaunch.h"

#include "document/CrelError.h"
#include "document/CrelStorage.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"
#include "platform/image/ImageDecoder.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <new>
#include <system_error>
#include <thread>

namespace crel::ImageOpening {

namespace {

QString formatName(Format format) {
  switch (format) {
  case Format::png: return QStringLiteral("PNG");
  case Format::jpeg: return QStringLiteral("JPEG");
  case Format::tiff: return QStringLiteral("TIFF");
  case Format::heic: return QStringLiteral("HEIC");
  case Format::none: break;
  }
  return {};
}

QString reason(const Failure &failure) {
  switch (failure.problem) {
  case Problem::notFound: return crel::tr("not found");
  case Problem::notReadable: return crel::tr("not readable");
  case Problem::notRegularFile: return crel::tr("not a regular file");
  case Problem::notImage: return crel::tr("not a PNG, JPEG, TIFF, or HEIC image");
  case Problem::tooLarge: return crel::tr("larger than 80 megapixels");
  case Problem::sideTooLong: return crel::tr("longer than 32,768 pixels on a side");
  case Problem::noPixels: return crel::tr("damaged: no pixels");
  case Problem::noMemory: return crel::tr("not enough memory");
  case Problem::noProcess:
    return crel::tr("the system would not start its HEIC decoder (the limit on your processes is reached, or "
                    "memory is short)");
  case Problem::noDescriptors: return crel::tr("the system would not start its HEIC decoder (too many files are open)");
  case Problem::noDecoder: return crel::tr("%1's HEIC decoder is missing").arg(AppIdentity::name());
  case Problem::undecodable:
    return failure.format == Format::none
               ? crel::tr("the image could not be decoded")
               : crel::tr("the %1 image could not be decoded").arg(formatName(failure.format));
  }
  return {};
}

static_assert(ImageDecoder::maxSide == 32'768, "the messages name the side limit");

Problem problemFor(ImageDecoder::Refusal refusal) {
  switch (refusal) {
  case ImageDecoder::Refusal::notFound: return Problem::notFound;
  case ImageDecoder::Refusal::notReadable: return Problem::notReadable;
  case ImageDecoder::Refusal::notRegularFile: return Problem::notRegularFile;
  case ImageDecoder::Refusal::tooLarge: return Problem::tooLarge;
  case ImageDecoder::Refusal::sideTooLong: return Problem::sideTooLong;
  case ImageDecoder::Refusal::noPixels: return Problem::noPixels;
  case ImageDecoder::Refusal::noMemory: return Problem::noMemory;
  case ImageDecoder::Refusal::noProcess: return Problem::noProcess;
  case ImageDecoder::Refusal::noDescriptors: return Problem::noDescriptors;
  case ImageDecoder::Refusal::noDecoder: return Problem::noDecoder;
  case ImageDecoder::Refusal::none:
  case ImageDecoder::Refusal::notImage: break;
  }
  return Problem::notImage;
}

// A name the alert can show on one line: the start and the file's end.
QString shortPath(const QString &path) {
  constexpr qsizetype longest = 90;
  if (path.size() <= longest)
    return path;
  QString start = path.left(longest / 2 - 1), end = path.right(longest / 2);
  if (start.back().isHighSurrogate())
    start.chop(1);
  if (end.front().isLowSurrogate())
    end.remove(0, 1);
  return start + QChar(0x2026) + end;
}

// Bytes per pixel of an instance's resident set and address space that an
// image's editor holds (steady) and takes more at its busiest (transient):
// the growth of VmRSS and VmSize once settled, and of their peaks, when an
// instance opens one 80-megapixel PNG of noise (which no encoding makes
// smaller), draws one arrow and saves it, less what the same takes with a
// small file, under `ulimit -v` (where the instance's threads share one
// malloc arena). 8- and 16-bit files measure alike; one with alpha keeps a
// premultiplied copy besides (9.3 steady against 5.4) and encodes four
// bytes a pixel (12.2 more resident at its peak, 15.1 of address space,
// against 10.0 and 11.9), and it is charged for every file: a 4K image
// still opens with 300 MB available. Decoding peaks lower, a HEIC's too,
// whose helper takes about 6 more meanwhile.
struct PerPixel {
  double memory, addressSpace;
};
constexpr PerPixel steadyBytesPerPixel{9.3, 9.3}, transientBytesPerPixel{12.2, 15.1};

using MemoryRoom::unlimited;

} // namespace

std::atomic<qint64> Budget::heldMemory_{0}, Budget::heldAddressSpace_{0};

Budget::~Budget() {
  heldMemory_ -= held().memory;
  heldAddressSpace_ -= held().addressSpace;
}

Budget::Cost Budget::cost(double pixels) {
  const auto bytes = [pixels](PerPixel perPixel) {
    return Space{qint64(pixels * perPixel.memory), qint64(pixels * perPixel.addressSpace)};
  };
  return {bytes(steadyBytesPerPixel), bytes(transientBytesPerPixel)};
}

Budget::Space Budget::held() const {
  return {steady_.memory + transient_.memory, steady_.addressSpace + transient_.addressSpace};
}

bool Budget::admit(double pixels) {
  if (!room0_) {
    // What other requests admitted is not in the process's figures yet.
    const Space room = room_ ? room_() : MemoryRoom::memoryRoom();
    const auto less = [](qint64 room, qint64 held) { return room == unlimited ? room : room - held; };
    room0_ = Space{less(room.memory, heldMemory_), less(room.addressSpace, heldAddressSpace_)};
  }
  const auto larger = [](Space a, Space b) {
    return Space{std::max(a.memory, b.memory), std::max(a.addressSpace, b.addressSpace)};
  };
  const Cost needed = cost(pixels);
  const Space before = held();
  const Space steady{steady_.memory + needed.steady.memory, steady_.addressSpace + needed.steady.addressSpace},
      transient = larger(transient_, needed.transient);
  // Open editors' saves are weighed, not held: every request weighs them itself.
  const Space busiest = larger(transient, openTransient_);
  if (steady.memory + busiest.memory > room0_->memory ||
      steady.addressSpace + busiest.addressSpace > room0_->addressSpace)
    return false;
  steady_ = steady;
  transient_ = transient;
  heldMemory_ += held().memory - before.memory;
  heldAddressSpace_ += held().addressSpace - before.addressSpace;
  return true;
}

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

Outcome open(const QString &path, Budget *budget) {
  // The system's one decoder: it refuses what is not a regular file before
  // opening it; the format check below keeps it to the four formats.
  ImageDecoder::Refusal refusal = ImageDecoder::Refusal::none;
  Format format = Format::none;
  try {
    QImage image = ImageDecoder::read(
        path, &refusal,
        [&format](const QByteArray &head) {
          format = sniff(head);
          return format != Format::none;
        },
        budget ? ImageDecoder::Affordable([budget](double pixels) { return budget->admit(pixels); })
               : ImageDecoder::Affordable());
    if (image.isNull()) {
      // One of our formats by its first bytes, yet no image came out: the
      // file is damaged, not of another kind.
      const Problem problem = problemFor(refusal);
      return {{}, problem == Problem::notImage && format != Format::none ? Problem::undecodable : problem, format};
    }
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace::SRgb)
      image.convertToColorSpace(QColorSpace::SRgb);
    // 16-bit and indexed files become the 8-bit format the editor works in;
    // null only when there was no room for it.
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
      return {{}, Problem::noMemory, format};
    return {std::move(image), {}, format};
  } catch (const std::bad_alloc &) {
    return {{}, Problem::noMemory, format};
  }
}

void openInBackground(const QStringList &paths, QObject *context, const Reader &reader, const Budget::Room &room,
                      double openPixels, std::function<void(std::vector<Outcome>)> done) {
  const auto read = [paths, reader, room, openPixels, done = std::move(done), target = QPointer<QObject>(context)] {
    auto budget = std::make_shared<Budget>(room, openPixels);
    std::vector<Outcome> outcomes;
    for (const QString &path : paths)
      outcomes.push_back(reader ? reader(path, *budget) : open(path, budget.get()));
    // The context is looked at only on its own thread; the application
    // object outlives every reader that finishes in time to matter.
    if (QCoreApplication *app = QCoreApplication::instance())
      QMetaObject::invokeMethod(
          app,
          [done, target, budget, outcomes = std::move(outcomes)]() mutable {
            if (target)
              done(std::move(outcomes));
          },
          Qt::QueuedConnection);
  };
  try {
    std::thread(read).detach();
  } catch (const std::system_error &) {
    // No thread to spare (a limit on tasks): read here rather than end the
    // instance with the request.
    read();
  }
}

QImage readImage(const QString &path) {
  Outcome outcome = open(path);
  if (outcome.problem)
    throw CrelError::invalidImage(failureMessage({{path, *outcome.problem, outcome.format}}));
  return std::move(outcome.image);
}

QString failureMessage(const QList<Failure> &failures, qsizetype notOpened, bool editorsOpen) {
  // A list the user can read to the end, its OK button on the screen.
  constexpr qsizetype listed = 10;
  const auto name = [](const Failure &f) { return shortPath(CrelStorage::displayPath(f.path)); };
  QStringList paragraphs;
  if (failures.size() == 1) {
    paragraphs << crel::tr("%1 could not be opened: %2.").arg(name(failures[0]), reason(failures[0]));
  } else if (!failures.isEmpty()) {
    QString list = crel::tr("These files could not be opened:");
    for (const Failure &f : failures.first(std::min(listed, failures.size())))
      list += QLatin1Char('\n') + crel::tr("%1: %2").arg(name(f), reason(f));
    if (const qsizetype rest = failures.size() - listed; rest == 1)
      list += QLatin1Char('\n') + crel::tr("and one more file");
    else if (rest > 1)
      list += QLatin1Char('\n') + crel::tr("and %1 more files").arg(rest);
    paragraphs << list;
  }
  if (notOpened == 1)
    paragraphs << crel::tr("%1 opens at most %2 files at a time; one more file was not opened.")
                      .arg(AppIdentity::name())
                      .arg(ForwardedLaunch::maxPaths);
  else if (notOpened > 1)
    paragraphs << crel::tr("%1 opens at most %2 files at a time; %3 more files were not opened.")
                      .arg(AppIdentity::name())
                      .arg(ForwardedLaunch::maxPaths)
                      .arg(notOpened);
  const auto any = [&failures](auto test) { return std::any_of(failures.begin(), failures.end(), test); };
  if (any([](const Failure &f) {
        return f.problem == Problem::notImage || f.problem == Problem::tooLarge || f.problem == Problem::noPixels;
      }))
    paragraphs << CrelError::invalidImage().errorDescription();
  if (any([](const Failure &f) { return f.problem == Problem::noMemory; }))
    paragraphs << (editorsOpen ? crel::tr("There is not enough memory to open more images now. Closing some editors "
                                          "frees memory.")
                               : crel::tr("There is not enough memory to open more images now."));
  if (any([](const Failure &f) { return f.problem == Problem::noProcess || f.problem == Problem::noDescriptors; }))
    paragraphs << crel::tr("Close some programs, then try again.");
  if (any([](const Failure &f) { return f.problem == Problem::noDecoder; }))
    paragraphs << crel::tr("Install %1 again to open HEIC images.").arg(AppIdentity::name());
  // The 80-megapixel advice would be no help for these.
  if (any([](const Failure &f) { return f.problem == Problem::sideTooLong; }))
    paragraphs << crel::tr("An image can be at most 32,768 pixels wide or tall, the largest size that can be saved.");
  return paragraphs.join(QStringLiteral("\n\n"));
}

QString nameFilter() { return crel::tr("Images (*.png *.jpg *.jpeg *.tif *.tiff *.heic *.heif)"); }

} // namespace crel::ImageOpening
