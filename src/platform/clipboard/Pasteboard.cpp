#include "Pasteboard.h"

#include "DataControlClipboard.h"
#include "PasteServer.h"
#include "QtClipboardBoard.h"
#include "platform/desktop/WaylandSession.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>
#include <QPointer>

#include <algorithm>
#include <utility>

namespace crel {

namespace {
Pasteboard *generalOverride = nullptr;
ClipboardPasteboard *systemBoard = nullptr;
} // namespace

Pasteboard &Pasteboard::general() {
  if (generalOverride)
    return *generalOverride;
  static ClipboardPasteboard board;
  systemBoard = &board;
  return board;
}

void Pasteboard::overrideGeneral(Pasteboard *board) { generalOverride = board; }

// The drain's bounds count from the same start as the pastes': the end
// waits as long as the longer, not both.
void Pasteboard::finishPastes() {
  const auto start = std::chrono::steady_clock::now();
  if (systemBoard)
    systemBoard->withdraw();
  PasteServer::shared().finish();
  if (systemBoard)
    systemBoard->finishDrain(start);
}

QByteArray wholeCharacters(QByteArray bytes) {
  qsizetype start = bytes.size();
  while (start > 0 && bytes.size() - start < 3 && (uchar(bytes[start - 1]) & 0xc0) == 0x80)
    --start;
  if (start == 0)
    return bytes;
  const uchar lead = uchar(bytes[start - 1]);
  const qsizetype length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
  if (bytes.size() - (start - 1) < length)
    bytes.truncate(start - 1);
  return bytes;
}

namespace {

// What Crel's Qt side holds on the X11 clipboard (a text field's copy goes
// there), read from it: through data-control the compositor would ask
// XWayland, which would ask this very thread while it waits.
const QMimeData *heldByQt() {
  auto *clipboard = QGuiApplication::clipboard();
  return clipboard && clipboard->ownsClipboard() ? clipboard->mimeData() : nullptr;
}

QImage decoded(const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);
  return reader.read();
}

} // namespace

QByteArray Pasteboard::read(const QString &mimeType) const { return bytes(mimeType, readDeadline()); }

QImage Pasteboard::readImage() const {
  const QDeadlineTimer deadline = readDeadline();
  for (const QString &type : types(deadline)) {
    if (!type.startsWith(QLatin1String("image/")))
      continue;
    if (QImage image = decoded(bytes(type, deadline)); !image.isNull())
      return image;
  }
  return {};
}

// Data-control and the bridge need a compositor to talk to: an X server
// started from a Wayland login has neither.
ClipboardPasteboard::ClipboardPasteboard(const QProcessEnvironment &environment, ClipboardLimits limits)
    : limits_(limits),
      dataControl_(WaylandSession::hasDisplay(environment) ? std::make_unique<DataControlClipboard>(environment)
                                                           : nullptr),
      qt_(std::make_unique<QtClipboardBoard>(WaylandSession::hasDisplay(environment), limits.drain)) {}

ClipboardPasteboard::~ClipboardPasteboard() = default;

// Data-control where the compositor offers it (and the X11 clipboard is then
// left alone: two owners would fight), else QClipboard.
ClipboardBoard &ClipboardPasteboard::board(const QDeadlineTimer &deadline) const {
  if (dataControl_ && dataControl_->route(deadline) == DataControlClipboard::Route::dataControl)
    return *dataControl_;
  return *qt_;
}

void ClipboardPasteboard::clear() {
  formats_.clear();
  text_.reset();
}

// Every write republishes the whole set written since the last clear. A
// compositor that did not answer in time gets no X11 claim either: its
// bridge would not fetch it, and the claim given up would empty the
// clipboard. The copy fails and what was there stays.
bool ClipboardPasteboard::publish() {
  using Route = DataControlClipboard::Route;
  const QDeadlineTimer deadline(limits_.answerMs);
  const Route route = dataControl_ ? dataControl_->route(deadline) : Route::x11;
  published_ = route == Route::dataControl ? static_cast<ClipboardBoard *>(dataControl_.get())
               : route == Route::x11       ? qt_.get()
                                           : nullptr;
  placed_ = published_ && published_->publish(formats_, text_, deadline);
  return placed_;
}

void ClipboardPasteboard::withdraw() {
  if (dataControl_)
    dataControl_->withdraw(QDeadlineTimer(limits_.answerMs));
}

void ClipboardPasteboard::finishDrain(std::chrono::steady_clock::time_point start) { qt_->finish(start); }

void ClipboardPasteboard::whenPlaced(QObject *context, std::function<void(bool)> done) {
  if (!placed_)
    done(false);
  else if (published_)
    published_->whenPlaced(context, std::move(done));
  else
    done(true);
}

QStringList ClipboardPasteboard::types(const QDeadlineTimer &deadline) const {
  if (const QMimeData *own = heldByQt())
    return own->formats();
  return board(deadline).types(deadline);
}

QByteArray ClipboardPasteboard::bytes(const QString &mimeType, const QDeadlineTimer &deadline) const {
  if (const QMimeData *own = heldByQt())
    return own->data(mimeType);
  ClipboardBoard &chosen = board(deadline);
  QString type = mimeType;
  // Programs name their text differently; plain text is either name (the
  // charset in any letter case, read by the name offered), and only one is
  // read.
  if (mimeType == QLatin1String("text/plain")) {
    const QStringList offered = chosen.types(deadline);
    const auto utf8 = std::find_if(offered.cbegin(), offered.cend(), [](const QString &name) {
      return name.compare(QLatin1String("text/plain;charset=utf-8"), Qt::CaseInsensitive) == 0;
    });
    if (!offered.contains(mimeType) && utf8 != offered.cend())
      type = *utf8;
  }
  const ClipboardRead read = chosen.read(type, deadline, limits_.readCap);
  if (!read.complete)
    return {};
  const bool text = type.startsWith(QLatin1String("text/"));
  QByteArray bytes = text && read.bytes.size() >= limits_.readCap ? wholeCharacters(read.bytes) : read.bytes;
  // X11 programs may end their text with a C string's NUL, which XWayland
  // passes on to data-control too.
  if (text && bytes.endsWith('\0'))
    bytes.chop(1);
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
