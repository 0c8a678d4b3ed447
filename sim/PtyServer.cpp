#include "sim/PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kt::sim {

namespace {

constexpr int kLineBytesPerSecond = 1920;  // 19200 baud, 10 bits per byte
constexpr std::size_t kLinePiece = 16;     // a UART FIFO's worth per wake-up
// Gap between the end of a sequence and the unasked garbage, and between the
// half block and the line going away: long enough for a reader to see the
// bytes as a separate event.
constexpr auto kAfterSequence = std::chrono::milliseconds(50);

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

PtyServer::PtyServer(const SimOptions& options, Responder& responder, std::uint64_t seed)
    // The garbage has a stream of its own so that faults never shift the
    // measurements of a seeded session.
    : options_(options), responder_(responder), garbageRng_(seed ^ 0x9E3779B97F4A7C15ull) {}

PtyServer::~PtyServer() {
  CloseLine();
  RemoveLink();
  if (signals_ >= 0) ::close(signals_);
}

int PtyServer::Open(std::string& error) {
  t0_ = Clock::now();
  // Termination arrives through a descriptor so that the loop can clean up;
  // blocked first, so that no signal can end us between link and loop.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0 || (signals_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK)) < 0) {
    error = Errno("signalfd");
    return 1;
  }
  ::signal(SIGPIPE, SIG_IGN);

  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) {
    error = Errno("posix_openpt");
    return 1;
  }
  char name[256];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
    error = Errno("pseudo-terminal setup");
    return 1;
  }
  slavePath_ = name;
  const int flags = fcntl(master_, F_GETFL);
  if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
    error = Errno("fcntl");
    return 1;
  }
  // Holding the slave open ourselves keeps the master from reading as hung up
  // whenever the program closes and reopens the port.
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (slave_ < 0) {
    error = Errno(name);
    return 1;
  }
  // Raw from the start: no echo of our blocks back to us, no newline or
  // control-character translation, whatever the program does later.
  termios tio{};
  if (tcgetattr(slave_, &tio) != 0) {
    error = Errno("tcgetattr");
    return 1;
  }
  cfmakeraw(&tio);
  cfsetspeed(&tio, B19200);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (tcsetattr(slave_, TCSANOW, &tio) != 0) {
    error = Errno("tcsetattr");
    return 1;
  }

  if (!options_.Link.empty()) {
    struct stat st {};
    if (lstat(options_.Link.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        error = "will not replace " + options_.Link + ": it exists and is not a symbolic link";
        return 1;
      }
      if (unlink(options_.Link.c_str()) != 0) {
        error = Errno(options_.Link.c_str());
        return 1;
      }
    }
    if (symlink(name, options_.Link.c_str()) != 0) {
      error = Errno(options_.Link.c_str());
      return 1;
    }
    linkMade_ = true;
  }
  Log("line %s%s%s", name, linkMade_ ? ", link " : "", options_.Link.c_str());
  return 0;
}

int PtyServer::Run() {
  for (;;) {
    WriteDue();
    pollfd fds[2];
    nfds_t count = 0;
    fds[count++] = {signals_, POLLIN, 0};
    if (master_ >= 0) fds[count++] = {master_, static_cast<short>(POLLIN | (blockedOnWrite_ ? POLLOUT : 0)), 0};
    timespec wait{};
    timespec* timeout = nullptr;  // nothing scheduled: sleep until a byte or a signal
    if (!out_.empty() && !blockedOnWrite_ && master_ >= 0) {
      const auto left = std::max(out_.front().due - Clock::now(), Clock::duration::zero());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      wait.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
      wait.tv_nsec = static_cast<long>(ns % 1'000'000'000);
      timeout = &wait;
    }
    const int r = ppoll(fds, count, timeout, nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "kt6100-sim: %s\n", Errno("ppoll").c_str());
      return 1;
    }
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info{};
      [[maybe_unused]] const ssize_t n = ::read(signals_, &info, sizeof info);
      Log("signal %u, exiting", info.ssi_signo);
      return 0;
    }
    if (count > 1) {
      if (fds[1].revents & POLLOUT) blockedOnWrite_ = false;
      if (fds[1].revents & POLLIN) ReadMaster();
    }
  }
}

void PtyServer::ReadMaster() {
  std::uint8_t buf[256];
  while (master_ >= 0) {
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // EAGAIN: all read
    for (ssize_t i = 0; i < n; ++i) OnByte(buf[i]);
  }
}

void PtyServer::OnByte(std::uint8_t byte) {
  if (byte >= 0x20 && byte < 0x7F)
    Log("rx 0x%02X '%c'", byte, byte);
  else
    Log("rx 0x%02X", byte);
  if (vanished_ || vanishArmed_ || options_.Silent) return;
  if (options_.Echo) {
    Enqueue(&byte, 1, Clock::now(), false, "tx echo");
    return;
  }
  if (const auto reply = responder_.OnByte(byte)) Send(*reply);
}

void PtyServer::Send(const Reply& reply) {
  const auto now = Clock::now();
  if (reply.StartsAfresh) DropSequenceOutput();
  char log[96];
  if (reply.BlockNumber == 0) {
    std::snprintf(log, sizeof log, "tx handshake answer 0x%02X", reply.Bytes.front());
    Enqueue(reply.Bytes.data(), reply.Bytes.size(), now + std::chrono::milliseconds(options_.HandshakeDelayMs), false,
            log);
    return;
  }
  if (options_.NoBlocks) return;

  auto start = now;
  if (reply.BlockNumber == options_.DelayBlock) start += std::chrono::milliseconds(options_.DelayMs);
  if (reply.Command == '3' && reply.BlockNumber == 1) start += std::chrono::milliseconds(options_.StartWaitMs);

  const bool vanish = reply.BlockNumber == options_.VanishAtBlock;
  const std::size_t size = vanish ? reply.Bytes.size() / 2 : reply.Bytes.size();
  std::snprintf(log, sizeof log, "tx block %d/%d of '%c': %zu%s bytes", reply.BlockNumber, reply.BlockCount,
                reply.Command, size, vanish ? " (first half)" : "");
  const auto last = Enqueue(reply.Bytes.data(), size, start, true, log);
  if (vanish) {
    vanishArmed_ = true;
    Chunk end;
    end.due = std::max(last + kAfterSequence, out_.empty() ? last : out_.back().due);
    end.vanish = true;
    end.log = "line closed";
    out_.push_back(std::move(end));
    return;
  }
  if (reply.EndsSequence && options_.Garbage > 0) {
    Block junk(static_cast<std::size_t>(options_.Garbage));
    for (auto& b : junk) b = static_cast<std::uint8_t>(garbageRng_.Next() >> 56);
    std::snprintf(log, sizeof log, "tx garbage: %d bytes", options_.Garbage);
    Enqueue(junk.data(), junk.size(), last + kAfterSequence, true, log);
  }
}

PtyServer::Clock::time_point PtyServer::Enqueue(const std::uint8_t* data, std::size_t size, Clock::time_point start,
                                                bool sequence, std::string log) {
  if (size == 0) {
    Log("%s", log.c_str());
    return start;
  }
  std::size_t piece = size;
  if (options_.Split > 0)
    piece = static_cast<std::size_t>(options_.Split);
  else if (options_.LineRate)
    piece = kLinePiece;
  const auto gap = std::chrono::milliseconds(options_.Split > 0 ? options_.SplitGapMs : 0);

  Clock::time_point due = start;
  std::size_t k = 0;
  for (std::size_t offset = 0; offset < size; offset += piece, ++k) {
    const std::size_t n = std::min(piece, size - offset);
    // Send times are computed from `start`, never from when the previous
    // write happened, so late wake-ups do not add up.
    due = start + k * gap;
    if (options_.LineRate) {
      // A piece is due when its last byte would have left a real UART.
      lineFree_ = std::max(lineFree_, due) +
                  std::chrono::nanoseconds(static_cast<long long>(n) * 1'000'000'000LL / kLineBytesPerSecond);
      due = lineFree_;
    }
    if (!out_.empty()) due = std::max(due, out_.back().due);  // the line keeps its order
    Chunk c;
    c.due = due;
    c.bytes.assign(data + offset, data + offset + n);
    c.sequence = sequence;
    if (offset + n == size) c.log = std::move(log);
    out_.push_back(std::move(c));
  }
  return due;
}

void PtyServer::DropSequenceOutput() {
  // A piece already partly on the line is finished, as a UART would.
  std::erase_if(out_, [](const Chunk& c) { return c.sequence && c.sent == 0; });
  lineFree_ = out_.empty() ? Clock::time_point{} : out_.back().due;
}

void PtyServer::WriteDue() {
  const auto now = Clock::now();
  while (!out_.empty() && master_ >= 0 && !blockedOnWrite_) {
    Chunk& c = out_.front();
    if (c.due > now) return;
    while (c.sent < c.bytes.size()) {
      const ssize_t n = ::write(master_, c.bytes.data() + c.sent, c.bytes.size() - c.sent);
      if (n > 0) {
        c.sent += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && errno == EAGAIN) {
        blockedOnWrite_ = true;  // nobody reads: wait until the line takes more
        return;
      } else {
        Log("write failed: %s", std::strerror(errno));
        break;
      }
    }
    if (!c.log.empty()) Log("%s", c.log.c_str());
    const bool vanish = c.vanish;
    out_.pop_front();
    if (vanish) Vanish();
  }
}

void PtyServer::Vanish() {
  // The link goes first: whoever notices the hang-up and looks again finds
  // nothing to reopen.
  RemoveLink();
  CloseLine();
  out_.clear();
  vanished_ = true;
}

void PtyServer::CloseLine() {
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
  master_ = slave_ = -1;
  blockedOnWrite_ = false;
}

void PtyServer::RemoveLink() {
  if (!linkMade_) return;
  linkMade_ = false;
  // Only our own link: someone may have replaced it meanwhile.
  char target[256];
  const ssize_t n = readlink(options_.Link.c_str(), target, sizeof target - 1);
  if (n > 0 && slavePath_ == std::string(target, static_cast<std::size_t>(n))) unlink(options_.Link.c_str());
}

void PtyServer::Log(const char* format, ...) {
  if (!options_.Log) return;
  const double t = std::chrono::duration<double>(Clock::now() - t0_).count();
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fprintf(stderr, "kt6100-sim %9.3f %s\n", t, line);
}

}  // namespace kt::sim
