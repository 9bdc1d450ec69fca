#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <xcb/xcb.h>

#include <functional>
#include <optional>
#include <vector>

namespace crel {

// Without data-control, the X11 clipboard reaches Wayland programs only
// through the compositor's bridge, which takes a selection only once it
// asked the owner for its targets and got them (sway also refuses an owner
// whose window closed before that). A copy counts as placed a moment after
// that request, which Qt answers; none within a second is a refusal.
// A TARGETS request from any other X client counts as the bridge's too: the
// request does not tell who asks, and another asker within that second is
// rare.
class BridgeFetch final : public QAbstractNativeEventFilter {
public:
  BridgeFetch();
  ~BridgeFetch() override;
  BridgeFetch(const BridgeFetch &) = delete;
  BridgeFetch &operator=(const BridgeFetch &) = delete;

  // A new publication, not yet fetched.
  void watch();
  void whenFetched(QObject *context, std::function<void(bool)> done);

  bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override;

private:
  struct Waiting {
    QPointer<QObject> context;
    std::function<void(bool)> done;
  };

  void settle(bool placed);

  xcb_connection_t *connection_ = nullptr;
  xcb_atom_t clipboard_ = XCB_ATOM_NONE, targets_ = XCB_ATOM_NONE;
  QTimer answered_, deadline_;
  std::optional<bool> placed_ = true;
  std::vector<Waiting> waiting_;
};

} // namespace crel
