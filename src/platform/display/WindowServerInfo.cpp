#include "WindowServerInfo.h"

#include "X11WindowServerInfo.h"

namespace crel {

WindowServerInfo &WindowServerInfo::system() {
  static X11WindowServerInfo info;
  return info;
}

} // namespace crel
