// Defines RandR monitors on an X screen for as long as it runs: a monitor
// lives only as long as the client that made it, so `xrandr --setmonitor`
// (which exits at once) cannot hold one. Prints "ready" once they exist and
// exits when the X server goes away or on SIGTERM.
//
//   crel-test-monitors NAME:WxH+X+Y [NAME:WxH+X+Y ...]

#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <sys/uio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Monitor {
  std::string name;
  int width, height, x, y;
};

bool parse(const char *arg, Monitor &m) {
  const char *colon = std::strchr(arg, ':');
  if (!colon)
    return false;
  m.name.assign(arg, colon);
  return std::sscanf(colon + 1, "%dx%d+%d+%d", &m.width, &m.height, &m.x, &m.y) == 4 && !m.name.empty() &&
         m.width > 0 && m.height > 0;
}

// Sent by hand: the generated xcb_randr_set_monitor of libxcb 1.15 gets the
// request length wrong and trips an assertion.
xcb_void_cookie_t setMonitor(xcb_connection_t *c, xcb_window_t root, const std::vector<uint8_t> &info) {
  static const xcb_protocol_request_t request = {2, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
  struct {
    uint8_t major, minor;
    uint16_t length;
    xcb_window_t window;
  } header{0, 0, 0, root};
  iovec parts[4];
  parts[2].iov_base = &header;
  parts[2].iov_len = sizeof(header);
  parts[3].iov_base = const_cast<uint8_t *>(info.data());
  parts[3].iov_len = info.size();
  return {xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &request)};
}

} // namespace

int main(int argc, char **argv) {
  std::vector<Monitor> monitors;
  for (int i = 1; i < argc; ++i) {
    Monitor m;
    if (!parse(argv[i], m)) {
      std::fprintf(stderr, "usage: %s NAME:WxH+X+Y ...\n", argv[0]);
      return 2;
    }
    monitors.push_back(m);
  }
  int screenNumber = 0;
  xcb_connection_t *c = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "crel-test-monitors: cannot connect to the X server\n");
    return 1;
  }
  auto it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber; ++i)
    xcb_screen_next(&it);
  const xcb_window_t root = it.data->root;

  // The first monitor takes over the server's one output, which retires the
  // automatic monitor that covers the whole root.
  xcb_randr_output_t output = XCB_NONE;
  if (auto *res =
          xcb_randr_get_screen_resources_current_reply(c, xcb_randr_get_screen_resources_current(c, root), nullptr)) {
    if (xcb_randr_get_screen_resources_current_outputs_length(res) > 0)
      output = xcb_randr_get_screen_resources_current_outputs(res)[0];
    std::free(res);
  }

  bool first = true;
  for (const Monitor &m : monitors) {
    auto *atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(m.name.size()), m.name.c_str()), nullptr);
    if (!atom)
      return 1;
    const bool withOutput = first && output != XCB_NONE;
    std::vector<uint8_t> buffer(sizeof(xcb_randr_monitor_info_t) + (withOutput ? sizeof(output) : 0));
    auto *info = reinterpret_cast<xcb_randr_monitor_info_t *>(buffer.data());
    info->name = atom->atom;
    info->primary = first;
    info->automatic = 0;
    info->nOutput = withOutput ? 1 : 0;
    info->x = int16_t(m.x);
    info->y = int16_t(m.y);
    info->width = uint16_t(m.width);
    info->height = uint16_t(m.height);
    info->width_in_millimeters = uint32_t(m.width * 254 / 960);
    info->height_in_millimeters = uint32_t(m.height * 254 / 960);
    if (withOutput)
      std::memcpy(buffer.data() + sizeof(xcb_randr_monitor_info_t), &output, sizeof(output));
    std::free(atom);
    if (auto *error = xcb_request_check(c, setMonitor(c, root, buffer))) {
      std::fprintf(stderr, "crel-test-monitors: setting %s failed (X error %d)\n", m.name.c_str(), error->error_code);
      return 1;
    }
    first = false;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  while (xcb_generic_event_t *event = xcb_wait_for_event(c))
    std::free(event);
  return 0;
}
