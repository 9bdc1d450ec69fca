#include "TestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crel::test {

TemporarySettings::TemporarySettings() : store_(std::make_unique<SettingsStore>(dir_.filePath("settings.ini"))) {}

ReadOnlyFolder::ReadOnlyFolder(const QString &folder) : folder_(QFile::encodeName(folder)) {
  if (::geteuid() != 0) {
    ready_ = ::chmod(folder_.constData(), 0555) == 0;
    return;
  }
  mounted_ = ::mount(folder_.constData(), folder_.constData(), nullptr, MS_BIND, nullptr) == 0;
  if (mounted_ && ::mount(nullptr, folder_.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
    ::umount2(folder_.constData(), MNT_DETACH);
    mounted_ = false;
  }
  ready_ = mounted_;
}

ReadOnlyFolder::~ReadOnlyFolder() {
  if (mounted_)
    ::umount2(folder_.constData(), MNT_DETACH);
  else if (ready_)
    ::chmod(folder_.constData(), 0700);
}

QImage filledImage(QSize size, const QColor &colour, QImage::Format format) {
  QImage image(size, format);
  image.fill(colour);
  return image;
}

QImage generatedImage(QSize size, const std::function<QRgb(int x, int y)> &pixel, QImage::Format format) {
  QImage image(size, format);
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x)
      image.setPixel(x, y, pixel(x, y));
  return image;
}

QRect inkBounds(const QImage &image, const std::function<bool(QRgb)> &inked) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (inked(image.pixel(x, y)))
        box |= QRect(x, y, 1, 1);
  return box;
}

QByteArray contents(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

QString unwritableFolder(const QTemporaryDir &dir) {
  QFile inTheWay(dir.filePath("in-the-way"));
  inTheWay.open(QIODevice::WriteOnly);
  return dir.filePath("in-the-way/folder");
}

QByteArray encodedImage(const QImage &image, const char *format, int quality) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, quality);
  return bytes;
}

QByteArray jpegWithOrientation(const QImage &image, int orientation) {
  QByteArray jpeg = encodedImage(image, "JPEG", 95);
  // APP1 "Exif": a little-endian TIFF header and one IFD entry, Orientation (0x0112), SHORT.
  const char exif[] = "\xff\xe1\x00\x22"
                      "Exif\0\0"
                      "II\x2a\x00\x08\x00\x00\x00"
                      "\x01\x00"
                      "\x12\x01\x03\x00\x01\x00\x00\x00";
  QByteArray segment(exif, sizeof exif - 1);
  segment += char(orientation);
  segment += QByteArray(7, '\0'); // rest of the value, then no next IFD
  return jpeg.insert(2, segment);
}

void hideTopLevelWindows() {
  const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
  const QList<QWidget *> windows = QApplication::topLevelWidgets();
  // A window closed with the keyboard takes Qt's focus window with it and
  // leaves the application active until another window of ours gets the
  // keyboard: wait for the window manager to hand it on, however slow.
  if (x11 && !QGuiApplication::focusWindow() && QGuiApplication::applicationState() == Qt::ApplicationActive &&
      std::any_of(windows.begin(), windows.end(), [](const QWidget *w) { return w->isVisible(); }))
    std::ignore = QTest::qWaitFor([] { return QGuiApplication::focusWindow() != nullptr; }, 30000);
  for (QWidget *window : QApplication::topLevelWidgets())
    if (window->isVisible())
      window->hide();
  if (x11) {
    EXPECT_TRUE(QTest::qWaitFor([] { return QGuiApplication::applicationState() != Qt::ApplicationActive; }))
        << "the application is still active with every window hidden";
  }
}

ProjectContextTranslator::ProjectContextTranslator() { QCoreApplication::installTranslator(this); }

ProjectContextTranslator::~ProjectContextTranslator() { QCoreApplication::removeTranslator(this); }

QString ProjectContextTranslator::translate(const char *context, const char *sourceText, const char *, int) const {
  return qstrcmp(context, "Crel") == 0 ? "[Crel] " + QString::fromUtf8(sourceText) : QString();
}

} // namespace crel::test
