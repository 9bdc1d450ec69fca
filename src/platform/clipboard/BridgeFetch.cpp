#include "BridgeFetch.h"

#include "platform/desktop/X11Atom.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <utility>

namespace crel {

BridgeFetch::BridgeFetch() {
  const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  connection_ = x11 ? x11->connection() : nullptr;
  if (connection_) {
    clipboard_ = internX11Atom(connection_, "CLIPBOARD");
    targets_ = internX11Atom(connection_, "TARGETS");
  }
  answered_.setSingleShot(true);
  answered_.setInterval(30);
  QObject::connect(&answered_, &QTimer::timeout, [this] { settle(true); });
  deadline_.setSingleShot(true);
  deadline_.setInterval(1000);
  QObject::connect(&deadline_, &QTimer::timeout, [this] { settle(false); });
}

BridgeFetch::~BridgeFetch() {
  if (auto *application = QCoreApplication::instance())
    application->removeNativeEventFilter(this);
}

void BridgeFetch::watch() {
  placed_.reset();
  answered_.stop();
  deadline_.start();
  QCoreApplication::instance()->installNativeEventFilter(this);
}

void BridgeFetch::whenFetched(QObject *context, std::function<void(bool)> done) {
  if (placed_)
    done(*placed_);
  else
    waiting_.push_back({context, std::move(done)});
}

bool BridgeFetch::nativeEventFilter(const QByteArray &type, void *message, qintptr *) {
  if (type != "xcb_generic_event_t" || placed_ || answered_.isActive())
    return false;
  const auto *event = static_cast<const xcb_generic_event_t *>(message);
  if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST)
    return false;
  const auto *request = reinterpret_cast<const xcb_selection_request_event_t *>(event);
  if (request->selection == clipboard_ && request->target == targets_) {
    deadline_.stop();
    answered_.start();
  }
  return false;
}

void BridgeFetch::settle(bool placed) {
  placed_ = placed;
  QCoreApplication::instance()->removeNativeEventFilter(this);
  for (const Waiting &waiting : std::exchange(waiting_, {}))
    if (waiting.context)
      waiting.done(placed);
}

} // namespace crel
