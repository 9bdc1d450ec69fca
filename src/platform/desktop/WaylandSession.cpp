#include "WaylandSession.h"

namespace crel::WaylandSession {

bool active(const QProcessEnvironment &environment) {
  return !environment.value("WAYLAND_DISPLAY").isEmpty() ||
         environment.value("XDG_SESSION_TYPE").compare("wayland", Qt::CaseInsensitive) == 0;
}

} // namespace crel::WaylandSession
