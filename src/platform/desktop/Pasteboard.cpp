#include "Pasteboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>

namespace crel {

namespace {
Pasteboard *generalOverride = nullptr;
}

Pasteboard &Pasteboard::general() {
  if (generalOverride)
    return *generalOverride;
  static ClipboardPasteboard board;
  return board;
}

void Pasteboard::overrideGeneral(Pasteboard *board) { generalOverride = board; }

namespace {

QImage decoded(const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);
  return reader.read();
}

} // namespace

QByteArray Pasteboard::read(const QString &mimeType) const { return representations().value(mimeType); }

QImage Pasteboard::readImage() const {
  const QMap<QString, QByteArray> all = representations();
  for (auto it = all.cbegin(); it != all.cend(); ++it) {
    if (!it.key().startsWith(QLatin1String("image/")))
      continue;
    if (QImage image = decoded(it.value()); !image.isNull())
      return image;
  }
  return {};
}

void ClipboardPasteboard::clear() {
  formats_.clear();
  text_.clear();
  hasText_ = false;
  if (auto *clipboard = QGuiApplication::clipboard())
    clipboard->clear();
}

// QClipboard takes one QMimeData at a time, so every write republishes the
// whole set of representations written since the last clear.
void ClipboardPasteboard::publish() {
  auto *clipboard = QGuiApplication::clipboard();
  if (!clipboard)
    return;
  auto *mime = new QMimeData;
  for (auto it = formats_.cbegin(); it != formats_.cend(); ++it)
    mime->setData(it.key(), it.value());
  if (hasText_)
    mime->setText(text_);
  clipboard->setMimeData(mime);
}

QMap<QString, QByteArray> ClipboardPasteboard::representations() const {
  QMap<QString, QByteArray> all;
  auto *clipboard = QGuiApplication::clipboard();
  const QMimeData *mime = clipboard ? clipboard->mimeData() : nullptr;
  if (!mime)
    return all;
  for (const QString &format : mime->formats())
    all.insert(format, mime->data(format));
  return all;
}

bool ClipboardPasteboard::writeData(const QString &mimeType, const QByteArray &data) {
  if (!QGuiApplication::clipboard() || mimeType.isEmpty())
    return false;
  formats_.insert(mimeType, data);
  publish();
  return true;
}

bool ClipboardPasteboard::writeText(const QString &text) {
  if (!QGuiApplication::clipboard())
    return false;
  text_ = text;
  hasText_ = true;
  publish();
  return true;
}

bool ClipboardPasteboard::replaceWithText(const QString &text) {
  if (!QGuiApplication::clipboard())
    return false;
  formats_.clear();
  text_ = text;
  hasText_ = true;
  publish();
  return true;
}

void FakePasteboard::clear() {
  ++clearCount;
  data.clear();
  text.reset();
}

bool FakePasteboard::writeData(const QString &mimeType, const QByteArray &bytes) {
  if (failWrites)
    return false;
  data.insert(mimeType, bytes);
  return true;
}

bool FakePasteboard::writeText(const QString &value) {
  if (failWrites)
    return false;
  text = value;
  return true;
}

QMap<QString, QByteArray> FakePasteboard::representations() const {
  QMap<QString, QByteArray> all = data;
  if (text)
    all.insert(QStringLiteral("text/plain"), text->toUtf8());
  return all;
}

bool FakePasteboard::replaceWithText(const QString &value) {
  if (failWrites)
    return false;
  data.clear();
  text = value;
  return true;
}

} // namespace crel
