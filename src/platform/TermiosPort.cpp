#include "platform/TermiosPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kt {

TermiosPort::TermiosPort() {
  int p[2];
  if (pipe2(p, O_NONBLOCK | O_CLOEXEC) == 0) {
    wakeRead_ = p[0];
    wakeWrite_ = p[1];
  }
  queue_.reserve(ReceiveQueueSize);
}

TermiosPort::~TermiosPort() {
  Close();
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

int TermiosPort::OpenDevice(const std::string& device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  // Exclusive: a second program on the same line would steal bytes. flock()
  // holds against root too, which TIOCEXCL does not.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    ::close(fd);
    return -1;
  }
  // Binary transport: no line editing, echo or character translation.
  ::cfmakeraw(&tio);
  ::cfsetspeed(&tio, B19200);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int TermiosPort::Open(const std::string& device) {
  Close();
  device_ = device;
  const int fd = OpenDevice(device);
  if (fd < 0) return 1;
  queue_.clear();
  queueFull_ = false;
  hungUp_ = false;
  wakeAt_ = 1;
  fd_ = fd;
  return 0;
}

int TermiosPort::Reopen() {
  if (device_.empty()) return 1;
  const int fd = OpenDevice(device_);
  if (fd < 0) return 1;
  const int old = fd_.exchange(fd);
  queue_.clear();
  queueFull_ = false;
  hungUp_ = false;
  wakeAt_ = 1;
  // A poller asleep on the old descriptor takes up the new one when woken;
  // the kernel keeps the old one valid until its wait returns.
  Wake();
  if (old >= 0) ::close(old);
  return 0;
}

void TermiosPort::Close() {
  const int fd = fd_.exchange(-1);
  if (fd >= 0) ::close(fd);  // also releases the flock
  queue_.clear();
  queueFull_ = false;
}

bool TermiosPort::IsOpen() const { return fd_.load() >= 0; }

int TermiosPort::WriteByte(std::uint8_t byte) {
  const int fd = fd_.load();
  if (fd < 0) return 1;
  for (int tries = 0; tries < 100; ++tries) {
    const ssize_t n = ::write(fd, &byte, 1);
    if (n == 1) return 0;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      // Transmit buffer full: wait for room rather than drop the byte.
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 10);
      continue;
    }
    if (n < 0 && errno == EIO) hungUp_ = true;
    return 1;
  }
  return 1;
}

void TermiosPort::Drain() {
  const int fd = fd_.load();
  if (fd < 0) return;
  while (queue_.size() < ReceiveQueueSize) {
    std::uint8_t buf[512];
    const std::size_t room = std::min<std::size_t>(sizeof buf, ReceiveQueueSize - queue_.size());
    const ssize_t n = ::read(fd, buf, room);
    if (n > 0) {
      queue_.insert(queue_.end(), buf, buf + n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // In raw mode with no minimum count a read of nothing returns 0 at once;
    // only EIO says the other end has gone.
    if (n < 0 && errno == EIO) hungUp_ = true;
    break;
  }
  queueFull_ = queue_.size() >= ReceiveQueueSize;
}

unsigned TermiosPort::QueuedCount() {
  Drain();
  return static_cast<unsigned>(queue_.size());
}

unsigned TermiosPort::Read(std::uint8_t* buf, unsigned n) {
  Drain();
  const unsigned k = std::min<unsigned>(n, static_cast<unsigned>(queue_.size()));
  std::copy_n(queue_.begin(), k, buf);
  queue_.erase(queue_.begin(), queue_.begin() + k);
  queueFull_ = queue_.size() >= ReceiveQueueSize;
  return k;
}

void TermiosPort::PurgeReceive() {
  const int fd = fd_.load();
  if (fd >= 0) ::tcflush(fd, TCIFLUSH);
  queue_.clear();
  queueFull_ = false;
  Drain();  // whatever raced past the flush
  queue_.clear();
  queueFull_ = false;
}

// The terminal's VMIN, with no VTIME, is also what poll() waits for: the
// device is reported readable once that many bytes are in. A block then
// wakes the waiting thread once, not once per piece the line delivers.
// (Reads stay non-blocking and take whatever is there.)
void TermiosPort::WakeAtCount(unsigned count) {
  const int fd = fd_.load();
  const auto queued = static_cast<unsigned>(queue_.size());
  const unsigned at = std::clamp(count > queued ? count - queued : 1u, 1u, 255u);
  if (fd < 0 || at == wakeAt_) return;
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return;
  tio.c_cc[VMIN] = static_cast<cc_t>(at);
  if (::tcsetattr(fd, TCSANOW, &tio) == 0) wakeAt_ = at;
}

bool TermiosPort::WaitForInput(int timeoutMs) {
  // Without the wake-up pipe nobody can cut a wait short: short waits then,
  // so that a new deadline or a stop is still noticed in time.
  if (wakeRead_ < 0) timeoutMs = std::min(timeoutMs, 50);
  pollfd fds[2];
  nfds_t count = 0;
  if (wakeRead_ >= 0) fds[count++] = {wakeRead_, POLLIN, 0};
  const int fd = fd_.load();
  // A full queue or a vanished peer would make the device readable (or hung
  // up) forever; waiting on it then would spin, so wait on the wake-up only.
  const bool watchPort = fd >= 0 && !queueFull_ && !hungUp_;
  if (watchPort) fds[count++] = {fd, POLLIN, 0};
  if (count == 0) {
    usleep(static_cast<useconds_t>(std::max(timeoutMs, 0)) * 1000u);
    return false;
  }
  int r;
  do {
    r = ::poll(fds, count, timeoutMs);
  } while (r < 0 && errno == EINTR);
  if (r <= 0) return false;
  if (fds[0].revents & POLLIN) {
    char sink[64];
    while (::read(wakeRead_, sink, sizeof sink) > 0) {
    }
  }
  if (watchPort) {
    const short ev = fds[count - 1].revents;
    if (ev & (POLLHUP | POLLERR | POLLNVAL)) {
      hungUp_ = true;
      return true;  // let the reader take what is left
    }
    if (ev & POLLIN) return true;
  }
  return false;
}

void TermiosPort::Wake() {
  if (wakeWrite_ >= 0) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &c, 1);
  }
}

}  // namespace kt
