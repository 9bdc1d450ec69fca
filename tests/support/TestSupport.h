#pragma once

#include "platform/files/SettingsStore.h"

#include <QByteArray>
#include <QImage>
#include <QTemporaryDir>
#include <QTranslator>

#include <functional>
#include <memory>

namespace crel::test {

// A private settings store in a temporary folder, removed with the object.
class TemporarySettings {
public:
  TemporarySettings();
  SettingsStore &store() { return *store_; }
  QString path() const { return dir_.filePath("settings.ini"); }

private:
  QTemporaryDir dir_;
  std::unique_ptr<SettingsStore> store_;
};

// An image of `size` filled with `colour`.
QImage filledImage(QSize size, const QColor &colour, QImage::Format format = QImage::Format_ARGB32_Premultiplied);

// An image whose pixel at (x, y) is `pixel(x, y)`, set row by row.
QImage generatedImage(QSize size, const std::function<QRgb(int x, int y)> &pixel,
                      QImage::Format format = QImage::Format_ARGB32_Premultiplied);

// The bounding box of the pixels `inked` accepts; empty when there are none.
QRect inkBounds(const QImage &image, const std::function<bool(QRgb)> &inked);

// The file's bytes; empty when it cannot be read.
QByteArray contents(const QString &path);

// Writes `bytes` to `path`, replacing it and making its folder; a test
// failure when it cannot.
void writeFile(const QString &path, const QByteArray &bytes);

// A folder that can never be created: its parent is a regular file in `dir`.
QString unwritableFolder(const QTemporaryDir &dir);

// The image in `format` ("PNG", "JPEG", …), as a file of that type holds it.
QByteArray encodedImage(const QImage &image, const char *format, int quality = -1);

// The image as a JPEG whose EXIF orientation tag holds `orientation` (1–8),
// the way cameras store a picture taken sideways.
QByteArray jpegWithOrientation(const QImage &image, int orientation);

// A folder nothing can be created in, renamed in or removed from while the
// object lives: a read-only bind mount as root (who passes any permission
// check), the write permission taken away otherwise. ready() is false where
// neither works; the caller then skips.
class ReadOnlyFolder {
public:
  explicit ReadOnlyFolder(const QString &folder);
  ~ReadOnlyFolder();
  ReadOnlyFolder(const ReadOnlyFolder &) = delete;
  ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;
  bool ready() const { return ready_; }

private:
  QByteArray folder_;
  bool mounted_ = false;
  bool ready_ = false;
};

// Hides every visible top-level window; on a real X server, then waits until
// the application has gone inactive. Qt hears that the keyboard left only
// through a window that still exists: deleting the focused window unhidden
// leaves the application active for the next test, and so does closing it
// (Qt destroys a closed window at once) until the window manager gives the
// keyboard to another of ours, which is waited for first.
void hideTopLevelWindows();

// While alive, translates every text of the project's translation context
// (and no other) to itself with a "[Crel] " prefix, so a test can tell which
// context a user-visible text was looked up in.
class ProjectContextTranslator : public QTranslator {
public:
  ProjectContextTranslator();
  ~ProjectContextTranslator() override;
  bool isEmpty() const override { return false; }
  QString translate(const char *context, const char *sourceText, const char *disambiguation, int n) const override;
};

} // namespace crel::test
