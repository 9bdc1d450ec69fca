#include "Pasteboard.h"

#include "DataControlClipboard.h"
#include "QtClipboardBoard.h"
#include "WaylandSession.h"

#include <QBuffer>
#include <QImageReader>
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

ClipboardPasteboard::ClipboardPasteboard(const QProcessEnvironment &environment, ClipboardLimits limits)
    : limits_(limits), dataControl_(WaylandSession::active(environment) ? std::make_unique<DataControlClipboard>(environment) : nullptr),
      qt_(std::make_unique<QtClipboardBoard>(WaylandSession::active(environment))) {}

ClipboardPasteboard::~ClipboardPasteboard() = default;

// Data-control where the compositor offers it (and the X11 clipboard is then
// left alone: two owners would fight), else QClipboard.
ClipboardBoard &ClipboardPasteboard::board(const QDeadlineTimer &deadline) const {
  if (dataControl_ && dataControl_->ready(deadline))
    return *dataControl_;
  return *qt_;
}

void ClipboardPasteboard::clear() {
  formats_.clear();
  text_.reset();
}

// Every write republishes the whole set written since the last clear.
bool ClipboardPasteboard::publish() {
  const QDeadlineTimer deadline(limits_.answerMs);
  ClipboardBoard &chosen = board(deadline);
  published_ = &chosen;
  return chosen.publish(formats_, text_, deadline);
}

void ClipboardPasteboard::whenPlaced(QObject *context, std::function<void(bool)> done) {
  if (published_)
    published_->whenPlaced(context, std::move(done));
  else
    done(true);
}

QStringList ClipboardPasteboard::types() const {
  const QDeadlineTimer deadline(limits_.answerMs);
  return board(deadline).types(deadline);
}

QByteArray ClipboardPasteboard::bytes(const QString &mimeType) const {
  const QDeadlineTimer deadline(limits_.answerMs);
  ClipboardBoard &chosen = board(deadline);
  QByteArray bytes = chosen.read(mimeType, deadline);
  // Programs name their text differently; plain text is any of them.
  if (bytes.isEmpty() && mimeType == QLatin1String("text/plain"))
    bytes = chosen.read(QStringLiteral("text/plain;charset=utf-8"), QDeadlineTimer(limits_.answerMs));
  return bytes;
}

bool ClipboardPasteboard::writeData(const QString &mimeType, const QByteArray &data) {
  if (mimeType.isEmpty())
    return false;
  formats_.insert(mimeType, data);
  return publish();
}

bool ClipboardPasteboard::writeText(const QString &text) {
  text_ = text;
  return publish();
}

bool ClipboardPasteboard::replaceWithText(const QString &text) {
  formats_.clear();
  text_ = text;
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
