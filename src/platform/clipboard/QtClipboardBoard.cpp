#include "QtClipboardBoard.h"

#include "BridgeFetch.h"
#include "X11SelectionReader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMimeData>

#include <utility>

Q_LOGGING_CATEGORY(lcClipboard, "crel.clipboard")

namespace crel {

QtClipboardBoard::QtClipboardBoard(bool bridged, DrainBounds drain) : bridged_(bridged), drain_(drain) {}

QtClipboardBoard::~QtClipboardBoard() = default;

// QClipboard takes one QMimeData at a time: the whole set goes in one.
bool QtClipboardBoard::publish(const QMap<QString, QByteArray> &formats, const std::optional<QString> &text,
                               const QDeadlineTimer &) {
  auto *clipboard = QGuiApplication::clipboard();
  if (!clipboard)
    return false;
  auto *mime = new QMimeData;
  for (auto it = formats.cbegin(); it != formats.cend(); ++it)
    mime->setData(it.key(), it.value());
  if (text)
    mime->setText(*text);
  clipboard->setMimeData(mime);
  if (bridged_ && QGuiApplication::platformName() == QLatin1String("xcb")) {
    if (!bridgeFetch_)
      bridgeFetch_ = std::make_unique<BridgeFetch>();
    bridgeFetch_->watch();
    // One the bridge never took is given up, so the failure the user is
    // told of is true: nothing of ours turns up on the clipboard later.
    bridgeFetch_->whenFetched(mime, [clipboard, mime](bool placed) {
      if (!placed && clipboard->mimeData() == mime)
        clipboard->clear();
    });
  }
  return true;
}

void QtClipboardBoard::whenPlaced(QObject *context, std::function<void(bool)> done) {
  if (bridgeFetch_)
    bridgeFetch_->whenFetched(context, std::move(done));
  else
    done(true);
}

// The reader where another program holds the X11 clipboard; what Qt holds,
// and every clipboard off xcb, is read through QClipboard. Qt's reader waits
// 5 s a request: once Crel's reader was made, only an X server without
// XFixes leaves reads to Qt. A reader whose connection broke (an owner may
// close it) is made again; one that cannot connect reads nothing.
X11SelectionReader *QtClipboardBoard::otherProgramsClipboard() {
  using State = X11SelectionReader::State;
  auto *clipboard = QGuiApplication::clipboard();
  if (QGuiApplication::platformName() != QLatin1String("xcb") || (clipboard && clipboard->ownsClipboard()))
    return nullptr;
  const State state = reader_ ? reader_->state() : State::unreachable;
  if (state == State::broken) {
    static bool told = false;
    if (!std::exchange(told, true))
      qCWarning(lcClipboard) << "the connection that reads other programs' clipboard broke; a new one reads the next "
                                "paste";
  }
  if (state == State::broken || state == State::unreachable)
    reader_ = std::make_unique<X11SelectionReader>(drain_);
  return reader_->state() == State::withoutFixes ? nullptr : reader_.get();
}

QStringList QtClipboardBoard::types(const QDeadlineTimer &deadline) {
  if (X11SelectionReader *reader = otherProgramsClipboard())
    return reader->types(deadline);
  auto *clipboard = QGuiApplication::clipboard();
  const QMimeData *mime = clipboard ? clipboard->mimeData() : nullptr;
  return mime ? mime->formats() : QStringList();
}

void QtClipboardBoard::finish(std::chrono::steady_clock::time_point start) {
  if (reader_)
    reader_->finish(start);
}

ClipboardRead QtClipboardBoard::read(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap) {
  if (X11SelectionReader *reader = otherProgramsClipboard())
    return reader->read(mimeType, deadline, cap);
  auto *clipboard = QGuiApplication::clipboard();
  const QMimeData *mime = clipboard ? clipboard->mimeData() : nullptr;
  return {mime ? mime->data(mimeType).left(cap) : QByteArray(), true};
}

} // namespace crel
