#include "FakeCompositor.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace crel::test {

namespace {

// Global names, and the kinds of object a client makes.
enum Kind { display, registry, seat, manager, device, source, offer };
constexpr uint32_t seatName = 1, managerName = 2;
constexpr uint32_t firstServerId = 0xff000000;

// One message: the object, its opcode, then 32-bit words.
class Message {
public:
  Message(uint32_t object, uint16_t opcode) : object_(object), opcode_(opcode) {}
  Message &word(uint32_t value) {
    words_.append(reinterpret_cast<const char *>(&value), 4);
    return *this;
  }
  Message &string(const QByteArray &text) {
    word(uint32_t(text.size() + 1));
    words_.append(text).append('\0');
    while (words_.size() % 4)
      words_.append('\0');
    return *this;
  }
  QByteArray bytes() const {
    QByteArray all;
    const uint32_t header[2] = {object_, uint32_t((words_.size() + 8) << 16 | opcode_)};
    all.append(reinterpret_cast<const char *>(header), 8).append(words_);
    return all;
  }

private:
  uint32_t object_;
  uint16_t opcode_;
  QByteArray words_;
};

// Reads a message's arguments in order.
struct Arguments {
  const char *at, *end;
  uint32_t word() {
    uint32_t value = 0;
    if (end - at >= 4)
      std::memcpy(&value, at, 4);
    at += 4;
    return value;
  }
  QByteArray string() {
    const uint32_t length = word();
    QByteArray text(at, std::max<qsizetype>(0, std::min<qsizetype>(length, end - at) - 1));
    at += (length + 3) / 4 * 4;
    return text;
  }
};

} // namespace

struct FakeCompositor::Client {
  int fd;
  int index;
  bool answered;
  QByteArray pending;
  std::deque<int> fds;
  std::map<uint32_t, Kind> objects{{1, display}};
  std::vector<uint32_t> devices;
  std::set<uint32_t> destroyedSources;
  bool holdSync = false;
  uint32_t nextServerId = firstServerId;

  void send(const Message &message) const {
    const QByteArray bytes = message.bytes();
    ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
  }
};

FakeCompositor::FakeCompositor(Options options) : options_(std::move(options)) {
  listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray path = dir_.filePath("wayland-fake").toLocal8Bit();
  std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
  EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  EXPECT_EQ(::listen(listener_, options_.accepting ? 16 : 0), 0);
  if (!options_.accepting) {
    // A queue of none holds one connection never taken.
    filler_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    EXPECT_EQ(::connect(filler_, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  }
  EXPECT_EQ(::pipe2(wake_, O_CLOEXEC), 0);
  thread_ = std::thread([this] { serve(); });
}

FakeCompositor::~FakeCompositor() {
  ::write(wake_[1], "q", 1);
  thread_.join();
  for (const auto &client : clients_) {
    if (client->fd >= 0)
      ::close(client->fd);
    for (int fd : client->fds)
      ::close(fd);
  }
  for (int fd : held_)
    ::close(fd);
  for (std::thread &writer : writers_)
    writer.join();
  ::close(listener_);
  if (filler_ >= 0)
    ::close(filler_);
  ::close(wake_[0]);
  ::close(wake_[1]);
}

QProcessEnvironment FakeCompositor::environment() const {
  QProcessEnvironment environment;
  environment.insert("WAYLAND_DISPLAY", dir_.filePath("wayland-fake"));
  environment.insert("XDG_SESSION_TYPE", "wayland");
  return environment;
}

int FakeCompositor::connections() const {
  const std::lock_guard lock(mutex_);
  return connections_;
}

int FakeCompositor::open() const {
  const std::lock_guard lock(mutex_);
  return int(std::count_if(clients_.begin(), clients_.end(), [](const auto &c) { return c->fd >= 0; }));
}

int FakeCompositor::selections() const {
  const std::lock_guard lock(mutex_);
  return selections_;
}

int FakeCompositor::receives() const {
  const std::lock_guard lock(mutex_);
  return receives_;
}

int FakeCompositor::invalidRequests() const {
  const std::lock_guard lock(mutex_);
  return invalidRequests_;
}

void FakeCompositor::finishDevices() {
  const std::lock_guard lock(mutex_);
  for (const auto &client : clients_)
    if (client->fd >= 0)
      for (uint32_t id : client->devices)
        client->send(Message(id, 2));
}

void FakeCompositor::changeSelection() {
  const std::lock_guard lock(mutex_);
  for (const auto &client : clients_)
    if (client->fd >= 0)
      for (uint32_t id : client->devices) {
        client->send(Message(id, 1).word(0));
        offerSelection(*client, id);
      }
}

void FakeCompositor::stall(bool stalled) {
  {
    const std::lock_guard lock(mutex_);
    stalled_ = stalled;
  }
  ::write(wake_[1], "s", 1);
}

void FakeCompositor::serve() {
  for (;;) {
    std::vector<pollfd> ready{{wake_[0], POLLIN, 0}, {listener_, short(options_.accepting ? POLLIN : 0), 0}};
    {
      const std::lock_guard lock(mutex_);
      // One not answered now is only watched for its end.
      for (const auto &client : clients_)
        ready.push_back({client->fd, short(client->answered && !stalled_ ? POLLIN : 0), 0});
    }
    if (::poll(ready.data(), ready.size(), -1) < 0)
      continue;
    if (ready[0].revents) {
      char command = 0;
      if (::read(wake_[0], &command, 1) != 1 || command == 'q')
        return;
      continue;
    }
    const std::lock_guard lock(mutex_);
    if (ready[1].revents & POLLIN) {
      if (const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC); fd >= 0) {
        const int index = connections_++;
        clients_.push_back(std::make_unique<Client>(Client{fd, index, index >= options_.unanswered, {}, {}}));
        if (options_.closing == Closing::atOnce)
          ::close(std::exchange(clients_.back()->fd, -1));
      }
    }
    for (size_t i = 2; i < ready.size(); ++i) {
      Client &client = *clients_[i - 2];
      if (client.fd < 0 || !ready[i].revents)
        continue;
      if (!client.answered || stalled_) {
        if (ready[i].revents & (POLLHUP | POLLERR))
          ::close(std::exchange(client.fd, -1));
        continue;
      }
      char buffer[4096];
      char control[CMSG_SPACE(sizeof(int) * 28)];
      iovec chunk{buffer, sizeof buffer};
      msghdr message{};
      message.msg_iov = &chunk;
      message.msg_iovlen = 1;
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      const ssize_t n = ::recvmsg(client.fd, &message, MSG_CMSG_CLOEXEC);
      if (n <= 0) {
        ::close(std::exchange(client.fd, -1));
        continue;
      }
      for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
          continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t k = 0; k < count; ++k) {
          int fd;
          std::memcpy(&fd, CMSG_DATA(c) + k * sizeof(int), sizeof fd);
          client.fds.push_back(fd);
        }
      }
      client.pending.append(buffer, n);
      handle(client);
    }
  }
}

// Runs every whole message received; called with the lock held.
void FakeCompositor::handle(Client &client) {
  while (client.pending.size() >= 8) {
    uint32_t header[2];
    std::memcpy(header, client.pending.constData(), 8);
    const uint32_t size = header[1] >> 16, opcode = header[1] & 0xffff;
    if (size < 8 || uint32_t(client.pending.size()) < size)
      return;
    Arguments in{client.pending.constData() + 8, client.pending.constData() + size};
    const auto kind = client.objects.find(header[0]);
    switch (kind == client.objects.end() ? -1 : kind->second) {
    case display:
      if (opcode == 0) { // sync
        const uint32_t callback = in.word();
        if (std::exchange(client.holdSync, false))
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        client.send(Message(callback, 0).word(0));
        client.send(Message(1, 1).word(callback));
      } else if (opcode == 1) { // get_registry
        const uint32_t id = in.word();
        client.objects[id] = registry;
        if (options_.seat)
          client.send(Message(id, 0).word(seatName).string("wl_seat").word(2));
        if (options_.manager)
          client.send(Message(id, 0).word(managerName).string("ext_data_control_manager_v1").word(1));
      }
      break;
    case registry:
      if (opcode == 0) { // bind
        const uint32_t name = in.word();
        in.string();
        const uint32_t version = in.word(), id = in.word();
        client.objects[id] = name == seatName ? seat : manager;
        if (name == seatName && version >= 2)
          client.send(Message(id, 1).string("seat0"));
      }
      break;
    case manager:
      if (opcode == 0) { // create_data_source
        client.objects[in.word()] = source;
      } else if (opcode == 1) { // get_data_device
        if (options_.closing == Closing::atDevice) {
          ::close(std::exchange(client.fd, -1));
          return;
        }
        const uint32_t id = in.word();
        client.objects[id] = device;
        client.devices.push_back(id);
        offerSelection(client, id);
      }
      break;
    case device:
      if (opcode == 0 && in.word() != 0) // set_selection
        ++selections_;
      break;
    case source:
      if (client.destroyedSources.contains(header[0])) {
        ++invalidRequests_;
        client.send(Message(1, 0).word(header[0]).word(0).string("invalid object"));
        ::close(std::exchange(client.fd, -1));
        return;
      }
      if (opcode == 1) { // destroy
        client.destroyedSources.insert(header[0]);
        if (options_.cancelOnDestroy) {
          client.send(Message(header[0], 1));
          client.holdSync = true;
        }
      }
      break;
    case offer:
      if (opcode == 0 && !client.fds.empty()) { // receive
        ++receives_;
        const int fd = client.fds.front();
        client.fds.pop_front();
        if (options_.owner == Owner::silent) {
          held_.push_back(fd);
        } else {
          writers_.emplace_back([fd, trickling = options_.owner == Owner::trickling] {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
            const QByteArray letters = trickling ? QByteArray("x") : QByteArray("\xc3\xa9").repeated(4096);
            while (::write(fd, letters.constData(), size_t(letters.size())) > 0)
              if (trickling)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ::close(fd);
          });
        }
      }
      break;
    default: break;
    }
    client.pending.remove(0, size);
  }
}

// Another program's selection, when the options give it; called with the
// lock held.
void FakeCompositor::offerSelection(Client &client, uint32_t device) {
  if (options_.offered.isEmpty())
    return;
  const uint32_t made = client.nextServerId++;
  client.objects[made] = offer;
  client.send(Message(device, 0).word(made));
  for (const QString &type : options_.offered)
    client.send(Message(made, 0).string(type.toUtf8()));
  client.send(Message(device, 1).word(made));
}

} // namespace crel::test
