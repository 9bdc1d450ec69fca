#include "app/ForwardedLaunch.h"
#include "app/ImageOpening.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/CrelStorage.h"
#include "document/MarkSamples.h"
#include "platform/base/MemoryRoom.h"
#include "platform/image/PngEncoder.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <limits>
#include <pthread.h>
#include <span>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace crel;

#if !defined(__SANITIZE_ADDRESS__)
// While set, no thread can be created, as at a limit on tasks.
static std::atomic<bool> threadsRefused = false;

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*run)(void *), void *arg) {
  static const auto create = reinterpret_cast<decltype(&pthread_create)>(::dlsym(RTLD_NEXT, "pthread_create"));
  return threadsRefused ? EAGAIN : create(thread, attr, run, arg);
}
#endif

namespace {

using test::encodedImage;

// A JPEG whose frame header claims `size`: refused from the header, it
// needs no pixels behind it.
QByteArray jpegClaiming(QSize size, int orientation) {
  QByteArray jpeg = test::jpegWithOrientation(QImage(8, 8, QImage::Format_RGB32), orientation);
  const qsizetype frame = jpeg.indexOf("\xff\xc0");
  if (frame >= 0) {
    const char sides[] = {char(size.height() >> 8), char(size.height()), char(size.width() >> 8), char(size.width())};
    jpeg.replace(frame + 5, 4, QByteArray(sides, 4));
  }
  return jpeg;
}

// A fixture HEIC whose image extent declares `size`.
QByteArray heicDeclaring(QSize size) {
  QByteArray heic = test::contents(QDir(QStringLiteral(CREL_HEIC_FIXTURES)).filePath("quadrants-800x500.heic"));
  const qsizetype ispe = heic.indexOf("ispe");
  if (ispe >= 0) {
    const char sides[] = {char(size.width() >> 24), char(size.width() >> 16),  char(size.width() >> 8),
                          char(size.width()),       char(size.height() >> 24), char(size.height() >> 16),
                          char(size.height() >> 8), char(size.height())};
    heic.replace(ispe + 8, 8, QByteArray(sides, 8));
  }
  return heic;
}

QString write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes) {
  const QString path = dir.filePath(name);
  test::writeFile(path, bytes);
  return path;
}

} // namespace

// What the shared decoder refuses (size, truncation, orientation, what is
// not a regular file) is tested with it; here, what only opening adds: the
// four formats by content, and messages that name the file and the reason.
TEST(ImageOpening, RefusalsNameTheFileAndTheReason) {
  QTemporaryDir dir(QDir::home().filePath(".crel-test-XXXXXX")); // shown under "~"
  ASSERT_TRUE(dir.isValid());
  const QString shown = "~" + dir.path().mid(QDir::homePath().size());
  QImage tiny = test::filledImage({4, 4}, Qt::red, QImage::Format_RGB32);
  const QByteArray smallPng = encodedImage(tiny, "PNG");
  static const char gif[] = "GIF89a\x01\0\x01\0\0\0\0,\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;";
  QImage huge(10'000, 8'001, QImage::Format_Mono); // one row over the limit, cheap to make
  huge.fill(1);
  QImage wide(40'000, 2'000, QImage::Format_Mono); // exactly 80 megapixels, too wide to save
  wide.fill(1);
  using P = ImageOpening::Problem;
  const struct {
    const char *name;
    std::optional<QByteArray> bytes; // none: nothing there
    P problem;
  } files[]{
      {"missing.png", std::nullopt, P::notFound},
      {"empty.png", QByteArray(), P::notImage},
      {"text.png", "just some text\n", P::notImage},
      // Formats Qt itself would read.
      {"anim.gif", QByteArray(gif, sizeof gif - 1), P::notImage},
      {"picture.png", encodedImage(tiny, "BMP"), P::notImage},
      {"drawing.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'/>", P::notImage},
      // Damaged files of the four formats are not of another format.
      {"truncated.png", smallPng.left(smallPng.size() / 2), P::undecodable},
      {"tiff-header-only.tif", QByteArray("II*\0\x08\0\0\0", 8), P::undecodable},
      {"huge.png", encodedImage(huge, "PNG"), P::tooLarge},
      {"wide.png", encodedImage(wide, "PNG"), P::sideTooLong},
      // Stored 1,000 wide, upright 33,000 wide.
      {"turned.jpg", jpegClaiming({1'000, 33'000}, 6), P::sideTooLong},
      {"empty.heic", heicDeclaring({0, 0}), P::noPixels},
  };
  QList<ImageOpening::Failure> failures;
  for (const auto &f : files) {
    const QString path = dir.filePath(f.name);
    if (f.bytes)
      test::writeFile(path, *f.bytes);
    EXPECT_EQ(ImageOpening::open(path).problem, f.problem) << f.name;
    failures.append({path, f.problem, ImageOpening::sniff(f.bytes.value_or(QByteArray()))});
  }
  QDir(dir.path()).mkdir("folder.png");
  try {
    ImageOpening::readImage(dir.filePath("folder.png"));
    ADD_FAILURE() << "a folder opened";
  } catch (const CrelError &error) {
    EXPECT_EQ(error.errorDescription(), shown + "/folder.png could not be opened: not a regular file.");
  }
  // One message for a request, each file on its line; the formats once.
  EXPECT_EQ(ImageOpening::failureMessage({failures[0], failures[2], failures[8]}),
            "These files could not be opened:\n" + shown + "/missing.png: not found\n" + shown +
                "/text.png: not a PNG, JPEG, TIFF, or HEIC image\n" + shown +
                "/huge.png: larger than 80 megapixels\n\n"
                "Choose a PNG, JPEG, TIFF, or HEIC image smaller than 80 megapixels.");
  // Too long on a side: the 80-megapixel advice would be false for it.
  EXPECT_EQ(ImageOpening::failureMessage({failures[9]}),
            shown + "/wide.png could not be opened: longer than 32,768 pixels on a side.\n\n"
                    "An image can be at most 32,768 pixels wide or tall, the largest size that can be saved.");
  // A damaged file sends nobody looking for another format.
  EXPECT_EQ(ImageOpening::failureMessage({failures[6]}),
            shown + "/truncated.png could not be opened: the PNG image could not be decoded.");
  // Declaring no pixels is damage too, with the advice every invalid image gets.
  EXPECT_EQ(ImageOpening::failureMessage({failures[11]}),
            shown + "/empty.heic could not be opened: damaged: no pixels.\n\n"
                    "Choose a PNG, JPEG, TIFF, or HEIC image smaller than 80 megapixels.");
}

// An image the process has no room for is refused for memory, whether the
// budget turns it down from its header or its pixels cannot be allocated;
// nothing is reported as damage and nothing ends the process.
TEST(ImageOpening, AnImageWithoutRoomIsRefusedForMemory) {
  QTemporaryDir dir;
  QImage large(8'000, 6'000, QImage::Format_Mono); // 48 megapixels, cheap to make
  large.fill(1);
  const QString png = write(dir, "large.png", encodedImage(large, "PNG"));
  const QString heic = write(dir, "photo.heic", heicDeclaring({800, 500}));
  QImage screen(3'840, 2'160, QImage::Format_Mono);
  screen.fill(1);
  const QString screenshot = write(dir, "4k.png", encodedImage(screen, "PNG"));
  // A busy desktop without swap.
  const ImageOpening::Budget::Room busy = [] {
    return ImageOpening::Budget::Space{MemoryRoom::roomInMemory([](const QString &path) {
                                         return path == "/proc/meminfo"
                                                    ? QByteArray("MemAvailable: 307200 kB\nSwapFree: 0 kB\n")
                                                    : QByteArray();
                                       }),
                                       std::numeric_limits<qint64>::max()};
  };
  const auto room = [](double pixels) {
    const ImageOpening::Budget::Cost cost = ImageOpening::Budget::cost(pixels);
    return [=] {
      return ImageOpening::Budget::Space{cost.steady.memory + cost.transient.memory,
                                         cost.steady.addressSpace + cost.transient.addressSpace};
    };
  };
  using P = ImageOpening::Problem;
  const struct {
    const char *name;
    QString path;
    ImageOpening::Budget::Room room;
    std::optional<P> problem;
  } cases[]{
      {"a PNG within the room", png, room(48e6), std::nullopt},
      {"a PNG over it", png, room(47e6), P::noMemory},
      {"a HEIC within the room", heic, room(800 * 500), std::nullopt},
      {"a HEIC over it", heic, room(800 * 499), P::noMemory},
      {"a 4K screenshot with 300 MB available", screenshot, busy, std::nullopt},
  };
  for (const auto &c : cases) {
    ImageOpening::Budget budget(c.room);
    EXPECT_EQ(ImageOpening::open(c.path, &budget).problem, c.problem) << c.name;
  }

  // Past the budget, under an address-space limit that leaves no room for
  // the pixels: Qt's decoder fails to allocate them. Within it, under the
  // least limit the budget admits an image of noise at, the image takes a
  // mark and is saved. AddressSanitizer's allocator ends the process instead
  // of failing the allocation.
#if !defined(__SANITIZE_ADDRESS__)
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &before), 0);
  const auto used = [] {
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    return MemoryRoom::kilobytes(status.readAll(), "VmSize").value_or(0);
  };
  const auto limited = [&before](qint64 bytes, const auto &body) {
    rlimit tight = before;
    tight.rlim_cur = rlim_t(bytes);
    EXPECT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
    body();
    ::setrlimit(RLIMIT_AS, &before);
  };
  ASSERT_GT(used(), 0);
  limited(used() + (qint64(64) << 20), [&] { EXPECT_EQ(ImageOpening::open(png).problem, P::noMemory); });

  QImage noise(6'000, 4'000, QImage::Format_ARGB32); // no encoding makes it smaller
  quint32 seed = 1;
  for (int y = 0; y < noise.height(); ++y)
    for (quint32 &pixel : std::span(reinterpret_cast<quint32 *>(noise.scanLine(y)), size_t(noise.width())))
      pixel = seed = seed * 1'664'525u + 1'013'904'223u;
  const QString noisy = write(dir, "noise.png", PngEncoder::encode(noise));
  noise = QImage();
  test::TemporarySettings settings;
  AnnotationPreferences preferences(settings.store());
  // The threads that draw and encode, and their allocator arenas, are made
  // before any limit is read, as an instance's first editor made them.
  {
    CrelDocument warm(test::filledImage({4000, 3000}, Qt::white), preferences);
    warm.commit({test::makeMark(MarkTool::arrow, {10, 10}, {300, 200})});
    warm.enableAutosave(dir.path(), "warm");
  }
  bool admitted = false;
  for (qint64 limit = used() + (qint64(128) << 20); !admitted && limit < used() + (qint64(8) << 30);
       limit += qint64(64) << 20)
    limited(limit, [&] {
      // The address space alone, whatever memory this machine has free.
      ImageOpening::Budget budget([] {
        return ImageOpening::Budget::Space{std::numeric_limits<qint64>::max(), MemoryRoom::memoryRoom().addressSpace};
      });
      ImageOpening::Outcome outcome = ImageOpening::open(noisy, &budget);
      if (outcome.problem) {
        EXPECT_EQ(outcome.problem, P::noMemory);
        return;
      }
      admitted = true;
      CrelDocument document(outcome.image, preferences);
      outcome.image = QImage();
      // Saved as it opens, as an editor's first frame saves it, then marked.
      EXPECT_NO_THROW(document.enableAutosave(dir.path(), "noise")) << "under " << (limit >> 20) << " MB";
      document.commit({test::makeMark(MarkTool::arrow, {100, 100}, {900, 700})});
      EXPECT_NO_THROW(document.flushAutosave()) << "under " << (limit >> 20) << " MB";
      EXPECT_FALSE(document.isDirty());
    });
  EXPECT_TRUE(admitted);
#endif
  for (const bool editorsOpen : {false, true})
    EXPECT_EQ(ImageOpening::failureMessage({{png, P::noMemory, ImageOpening::Format::png}}, 0, editorsOpen),
              CrelStorage::displayPath(png) +
                  " could not be opened: not enough memory.\n\n"
                  "There is not enough memory to open more images now." +
                  (editorsOpen ? " Closing some editors frees memory." : ""));
}

TEST(ImageOpening, ImagesOpenFullSizeUprightInTheEditorsFormats) {
  QTemporaryDir dir;
  QImage deep = test::filledImage({7, 5}, QColor(10, 20, 30, 128), QImage::Format_RGBA64);
  QImage grey(3, 2, QImage::Format_Grayscale8);
  grey.fill(90);
  QImage limit(10'000, 8'000, QImage::Format_Mono); // cheap to make even at 80 megapixels
  limit.fill(1);
  const struct {
    const char *name;
    QByteArray bytes;
    QSize size;
    QImage::Format format;
  } cases[]{
      // An image's name does not decide its format.
      {"png-named.jpg", encodedImage(grey, "PNG"), {3, 2}, QImage::Format_RGB32},
      {"rotated.jpg",
       test::jpegWithOrientation(QImage(40, 20, QImage::Format_RGB32), 6),
       {20, 40},
       QImage::Format_RGB32},
      {"sixteen-bit.tiff", encodedImage(deep, "TIFF"), {7, 5}, QImage::Format_ARGB32},
      {"limit.png", encodedImage(limit, "PNG"), {10'000, 8'000}, QImage::Format_RGB32},
  };
  for (const auto &c : cases) {
    const QImage image = ImageOpening::readImage(write(dir, c.name, c.bytes));
    EXPECT_EQ(image.size(), c.size) << c.name;
    EXPECT_EQ(image.format(), c.format) << c.name;
  }
}

#if !defined(__SANITIZE_ADDRESS__)
// A running instance with no thread to spare still opens what a later launch
// hands it, rather than ending.
TEST(ImageOpening, ABackgroundReadWithoutAThreadStillOpens) {
  QTemporaryDir dir;
  const QString path = write(dir, "a.png", encodedImage(test::filledImage({6, 4}, Qt::red), "PNG"));
  QObject context;
  std::vector<ImageOpening::Outcome> got;
  threadsRefused = true;
  ImageOpening::openInBackground({path}, &context, {}, {}, 0,
                                 [&got](std::vector<ImageOpening::Outcome> outcomes) { got = std::move(outcomes); });
  threadsRefused = false;
  for (const QDeadlineTimer deadline(5000); got.empty() && !deadline.hasExpired();)
    QCoreApplication::processEvents();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].image.size(), QSize(6, 4));
}
#endif

// HEIC files as the system encoder writes them (tests/app/heic/make-fixtures):
// at most sizes the coded picture is padded past the image to whole coding
// blocks. Each holds red, green, blue and white quadrants from the top left.
TEST(ImageOpening, HeicOpensAtEverySizeAndADamagedOneSaysSo) {
  const QDir fixtures(QStringLiteral(CREL_HEIC_FIXTURES));
  const QSize sizes[] = {{800, 500}, {801, 500}, {806, 500}, {807, 500}, {499, 1001}};
  for (const QSize size : sizes) {
    const QString name = QString("quadrants-%1x%2.heic").arg(size.width()).arg(size.height());
    SCOPED_TRACE(name.toStdString());
    const ImageOpening::Outcome outcome = ImageOpening::open(fixtures.filePath(name));
    ASSERT_EQ(outcome.problem, std::nullopt);
    ASSERT_EQ(outcome.image.size(), size);
    const int w = size.width(), h = size.height();
    const struct {
      QPoint at;
      QColor colour;
    } pixels[]{{{w / 4, h / 4}, QColor(255, 0, 0)},
               {{3 * w / 4, h / 4}, QColor(0, 192, 0)},
               {{w / 4, 3 * h / 4}, QColor(0, 0, 255)},
               {{3 * w / 4, 3 * h / 4}, Qt::white},
               {{0, 0}, QColor(255, 0, 0)},
               {{w - 1, h - 1}, Qt::white}};
    for (const auto &p : pixels) {
      const QColor got = outcome.image.pixelColor(p.at);
      EXPECT_LT(std::abs(got.red() - p.colour.red()) + std::abs(got.green() - p.colour.green()) +
                    std::abs(got.blue() - p.colour.blue()),
                48)
          << p.at.x() << "," << p.at.y() << " is " << got.name().toStdString();
    }
  }
  QTemporaryDir dir;
  const QByteArray whole = test::contents(fixtures.filePath("quadrants-801x500.heic"));
  const QString damaged = write(dir, "cut.heic", whole.left(whole.indexOf("mdat") + 200));
  try {
    ImageOpening::readImage(damaged);
    ADD_FAILURE() << "a damaged HEIC opened";
  } catch (const CrelError &error) {
    EXPECT_EQ(error.errorDescription(),
              CrelStorage::displayPath(damaged) + " could not be opened: the HEIC image could not be decoded.");
  }
}

// A good HEIC whose decoder cannot be started is not called damaged: the
// message says what the system lacks (a copy without its decoder is
// ShellHelpers' case).
TEST(ImageOpening, AHeicDecoderThatCannotStartIsNoFaultOfTheFile) {
  QTemporaryDir dir;
  const QString good =
      write(dir, "good.heic", test::contents(QDir(CREL_HEIC_FIXTURES).filePath("quadrants-800x500.heic")));
  const auto said = [&good] {
    try {
      ImageOpening::readImage(good);
    } catch (const CrelError &error) {
      return error.errorDescription();
    }
    return QString();
  };
  const QString opened = CrelStorage::displayPath(good) + " could not be opened: ";
  const QString closeSome = "\n\nClose some programs, then try again.";
  const struct {
    const char *name;
    std::function<QString()> attempt;
    QString message;
  } rows[]{
#if !defined(__SANITIZE_ADDRESS__) // the sanitizers' checks open descriptors of their own
      {"no descriptor left but the file's",
       [&] {
         rlimit before{};
         ::getrlimit(RLIMIT_NOFILE, &before);
         std::vector<int> held{::open("/dev/null", O_RDONLY)};
         const rlimit few{rlim_t(held[0] + 8), before.rlim_max};
         ::setrlimit(RLIMIT_NOFILE, &few);
         for (int fd; (fd = ::dup(held[0])) >= 0;)
           held.push_back(fd);
         ::close(held.back());
         held.pop_back();
         const QString message = said();
         for (const int fd : held)
           ::close(fd);
         ::setrlimit(RLIMIT_NOFILE, &before);
         return message;
       },
       opened + "the system would not start its HEIC decoder (too many files are open)." + closeSome},
#endif
      {"at the limit on processes",
       [&] {
         // In a child of the test, whose limit holds: root's is not enforced, so
         // there it counts as another user, without the powers that pass it.
         int out[2];
         if (::pipe(out) != 0)
           return QString();
         const pid_t child = ::fork();
         if (child == 0) {
           const rlimit none{0, 0};
           ::setrlimit(RLIMIT_NPROC, &none);
           __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
           __user_cap_data_struct caps[2]{};
           ::syscall(SYS_capget, &header, caps);
           for (const int cap : {CAP_SYS_RESOURCE, CAP_SYS_ADMIN})
             caps[cap / 32].effective &= ~(1u << (cap % 32));
           if (::geteuid() == 0 &&
               (::setresuid(65534, uid_t(-1), uid_t(-1)) != 0 || ::syscall(SYS_capset, &header, caps) != 0))
             ::_exit(1);
           const QByteArray message = said().toUtf8();
           ::_exit(::write(out[1], message.constData(), size_t(message.size())) == message.size() ? 0 : 1);
         }
         ::close(out[1]);
         QFile answer;
         answer.open(out[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
         const QString message = QString::fromUtf8(answer.readAll());
         ::waitpid(child, nullptr, 0);
         return message;
       },
       opened +
           "the system would not start its HEIC decoder (the limit on your processes is reached, or memory is short)." +
           closeSome},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.attempt(), row.message);
  }
  EXPECT_EQ(said(), QString()) << "opens once the decoder can start";
}

// A request with many bad files, or more files than a launch opens, still
// gets one alert whose OK button is on the screen.
TEST(ImageOpening, TheAlertForManyFilesNamesAFewAndCountsTheRest) {
  const auto missing = [](int count) {
    QList<ImageOpening::Failure> failures;
    for (int i = 0; i < count; ++i)
      failures.append({QStringLiteral("/m/%1.png").arg(i), ImageOpening::Problem::notFound});
    return failures;
  };
  const QString limit = QString::number(ForwardedLaunch::maxPaths);
  const struct {
    const char *name;
    QList<ImageOpening::Failure> failures;
    qsizetype notOpened;
    int lines;
    QString last;
  } cases[]{
      {"ten, all named", missing(10), 0, 11, "/m/9.png: not found"},
      {"eleven", missing(11), 0, 12, "and one more file"},
      {"120 missing files", missing(120), 0, 12, "and 110 more files"},
      {"more than a launch opens",
       {},
       1,
       1,
       "Crel opens at most " + limit + " files at a time; one more file was not opened."},
      {"both", missing(50), 9'950, 14,
       "Crel opens at most " + limit + " files at a time; 9950 more files were not opened."},
      {"a name as long as a path gets",
       {{"/m/" + QString(4'000, 'x') + ".png", ImageOpening::Problem::notFound}},
       0,
       1,
       {}},
  };
  for (const auto &c : cases) {
    const QStringList lines = ImageOpening::failureMessage(c.failures, c.notOpened).split('\n');
    EXPECT_EQ(lines.size(), c.lines) << c.name;
    if (!c.last.isEmpty()) {
      EXPECT_EQ(lines.last(), c.last) << c.name;
    }
    for (const QString &line : lines)
      EXPECT_LE(line.size(), 140) << c.name;
  }
}
