#include "Pasteboard.h"

#include "BridgeFetch.h"
#include "DataControlClipboard.h"
#include "WaylandSession.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>
#include <QPointer>

#include <utility>

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

QByteArray Pasteboard::read(const QString &mimeType) const { return bytes(mimeType); }

QImage Pasteboard::readImage() const {
  for (const QString &type : types()) {
    if (!type.startsWith(QLatin1String("image/")))
      continue;
    if (QImage image = decoded(bytes(type)); !image.isNull())
      return image;
  }
  return {};
}

ClipboardPasteboard::ClipboardPasteboard(const QProcessEnvironment &environment)
    : environment_(environment), wayland_(WaylandSession::active(environment)) {}

ClipboardPasteboard::~ClipboardPasteboard() = default;

// Opened at the first use and kept: the selection it sets lives as long as
// the connection. One that failed is opened again; a compositor that offers
// no data-control is not asked again.
DataControlClipboard *ClipboardPasteboard::dataControl() const {
  if (!wayland_ || !dataControlOffered_)
    return nullptr;
  if (!dataControl_ || !dataControl_->alive())
    dataControl_ = DataControlClipboard::open(environment_);
  dataControlOffered_ = dataControl_ != nullptr;
  return dataControl_.get();
}

void ClipboardPasteboard::clear() {
  formats_.clear();
  text_.clear();
  hasText_ = false;
}

// QClipboard takes one QMimeData at a time, so every write republishes the
// whole set of representations written since the last clear.
bool ClipboardPasteboard::publish() {
  if (DataControlClipboard *board = dataControl()) {
    QMap<QString, QByteArray> all = formats_;
    // The text under the names QClipboard offers it by.
    if (hasText_)
      for (const char *type : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING"})
        all.insert(QString::fromLatin1(type), text_.toUtf8());
    return board->publish(all);
  }
  auto *clipboard = QGuiApplication::clipboard();
  if (!clipboard)
    return false;
  auto *mime = new QMimeData;
  for (auto it = formats_.cbegin(); it != formats_.cend(); ++it)
    mime->setData(it.key(), it.value());
  if (hasText_)
    mime->setText(text_);
  clipboard->setMimeData(mime);
  if (wayland_ && QGuiApplication::platformName() == QLatin1String("xcb")) {
    if (!bridgeFetch_)
      bridgeFetch_ = std::make_unique<BridgeFetch>();
    bridgeFetch_->watch();
  }
  return true;
}

void ClipboardPasteboard::whenPlaced(QObject *context, std::function<void(bool)> done) {
  if (bridgeFetch_ && !dataControl_)
    bridgeFetch_->whenFetched(context, std::move(done));
  else
    done(true);
}

QStringList ClipboardPasteboard::types() const {
  if (DataControlClipboard *board = dataControl())
    return board->types();
  auto *clipboard = QGuiApplication::clipboard();
  const QMimeData *mime = clipboard ? clipboard->mimeData() : nullptr;
  return mime ? mime->formats() : QStringList();
}

QByteArray ClipboardPasteboard::bytes(const QString &mimeType) const {
  if (DataControlClipboard *board = dataControl()) {
    QByteArray bytes = board->read(mimeType);
    // Programs name their text differently; plain text is any of them.
    if (bytes.isEmpty() && mimeType == QLatin1String("text/plain"))
      bytes = board->read(QStringLiteral("text/plain;charset=utf-8"));
    return bytes;
  }
  auto *clipboard = QGuiApplication::clipboard();
  const QMimeData *mime = clipboard ? clipboard->mimeData() : nullptr;
  return mime ? mime->data(mimeType) : QByteArray();
}

bool ClipboardPasteboard::writeData(const QString &mimeType, const QByteArray &data) {
  if (mimeType.isEmpty())
    return false;
  formats_.insert(mimeType, data);
  return publish();
}

bool ClipboardPasteboard::writeText(const QString &text) {
  text_ = text;
  hasText_ = true;
  return publish();
}

bool ClipboardPasteboard::replaceWithText(const QString &text) {
  formats_.clear();
  text_ = text;
  hasText_ = true;
  return publish();
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

void FakePasteboard::whenPlaced(QObject *context, std::function<void(bool)> done) {
  if (!holdPlacement) {
    done(true);
    return;
  }
  placement = [context = QPointer<QObject>(context), done = std::move(done)](bool placed) {
    if (context)
      done(placed);
  };
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
