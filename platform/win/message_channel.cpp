#include "platform/win/message_channel.h"

#include "platform/win/tempdir.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

struct MessageChannel {
  int fd = -1;
  HWND hwnd = nullptr;
  UINT message = 0;
  std::string name;
  std::unique_ptr<QSocketNotifier> notifier;
};

namespace {
std::atomic<unsigned> g_channelCount{0};

bool FillAddress(const char* name, sockaddr_un* addr) {
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  if (name == nullptr || std::strlen(name) >= sizeof addr->sun_path) return false;
  std::memcpy(addr->sun_path, name, std::strlen(name));
  return true;
}

// One connection: the number it sends, read with a short wait since the
// sender writes as soon as it connects.
bool TakeConnection(MessageChannel* c) {
  const int conn = accept4(c->fd, nullptr, nullptr, SOCK_CLOEXEC);
  if (conn < 0) return false;
  char buf[32] = {};
  size_t got = 0;
  while (got < sizeof buf - 1) {
    pollfd p{conn, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0) break;
    const ssize_t n = read(conn, buf + got, sizeof buf - 1 - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    if (std::memchr(buf, '\n', got) != nullptr) break;
  }
  close(conn);
  unsigned long value = 0;
  for (size_t i = 0; i < got && buf[i] >= '0' && buf[i] <= '9' && value < 0x10000000UL; ++i)
    value = value * 10 + static_cast<unsigned long>(buf[i] - '0');
  PostMessageA(c->hwnd, c->message, static_cast<WPARAM>(value), 0);
  return true;
}
}  // namespace

MessageChannel* OpenMessageChannel(HWND hwnd, UINT message) {
  const std::string dir = PrivateTempDirectory();
  if (dir.empty()) return nullptr;
  char file[64];
  std::snprintf(file, sizeof file, "vtch%ld-%u.sock", static_cast<long>(getpid()), g_channelCount++);
  auto c = std::make_unique<MessageChannel>();
  c->name = dir + file;
  sockaddr_un addr;
  if (!FillAddress(c->name.c_str(), &addr)) return nullptr;
  unlink(c->name.c_str());
  c->fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (c->fd < 0) return nullptr;
  if (bind(c->fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(c->fd, 4) != 0) {
    close(c->fd);
    return nullptr;
  }
  c->hwnd = hwnd;
  c->message = message;
  c->notifier = std::make_unique<QSocketNotifier>(c->fd, QSocketNotifier::Read);
  MessageChannel* raw = c.get();
  QObject::connect(c->notifier.get(), &QSocketNotifier::activated, [raw] { TakeConnection(raw); });
  return c.release();
}

bool PollMessageChannel(MessageChannel* channel) {
  if (channel == nullptr || channel->fd < 0) return false;
  pollfd p{channel->fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && TakeConnection(channel);
}

const char* MessageChannelName(const MessageChannel* channel) { return channel ? channel->name.c_str() : ""; }

void CloseMessageChannel(MessageChannel* channel) {
  if (channel == nullptr) return;
  channel->notifier.reset();
  if (channel->fd >= 0) close(channel->fd);
  unlink(channel->name.c_str());
  delete channel;
}

bool SendChannelMessage(const char* name, unsigned long wParam) {
  sockaddr_un addr;
  if (!FillAddress(name, &addr)) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  if (ok) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%lu\n", wParam);
    ok = write(fd, text, static_cast<size_t>(n)) == n;
  }
  close(fd);
  return ok;
}
