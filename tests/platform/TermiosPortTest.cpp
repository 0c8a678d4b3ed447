// The termios port on a real pseudo-terminal: line settings, the receive
// queue, exclusive opening, waiting, a vanished far end and reopening.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/TermiosPort.h"
#include "support/Files.h"

namespace kt {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

// Both ends of a pseudo-terminal; the test keeps a slave descriptor of its
// own to look at the line settings the port made.
struct Pty {
  int master = -1, slave = -1;
  std::string path;
  Pty() {
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
  }
  ~Pty() { close(master), close(slave); }
  void Send(const std::string& s) const {
    ASSERT_EQ(write(master, s.data(), s.size()), static_cast<ssize_t>(s.size()));
  }
  // What the port wrote: `n` bytes, or what came before 10 s of silence.
  std::string Receive(std::size_t n) const {
    std::string got(n, '\0');
    std::size_t k = 0;
    for (pollfd p{master, POLLIN, 0}; k < n && poll(&p, 1, 10000) > 0;) {
      const ssize_t r = read(master, got.data() + k, n - k);
      if (r <= 0) break;
      k += static_cast<std::size_t>(r);
    }
    return got.substr(0, k);
  }
};

// A pseudo-terminal hands bytes over asynchronously: wait (10 s at most)
// until the port has queued `n`.
unsigned QueueUntil(TermiosPort& port, unsigned n) {
  for (const auto end = Steady::now() + 10s; port.QueuedCount() < n && Steady::now() < end;) port.WaitForInput(50);
  return port.QueuedCount();
}

std::string ReadText(TermiosPort& port, unsigned n) {
  std::string s(n, '\0');
  s.resize(port.Read(reinterpret_cast<std::uint8_t*>(s.data()), n));
  return s;
}

TEST(TermiosPort, OpenMakesTheLineRaw19200ExclusivelyHeld) {
  Pty pty;
  termios cooked{};  // a cooked, slow line with two stop bits to start from
  ASSERT_EQ(tcgetattr(pty.slave, &cooked), 0);
  cfsetspeed(&cooked, B9600);
  cooked.c_cflag = (cooked.c_cflag | CSTOPB | PARENB) & ~static_cast<tcflag_t>(CLOCAL);
  cooked.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
  cooked.c_oflag |= OPOST | ONLCR;
  cooked.c_iflag |= ICRNL | IXON;
  ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &cooked), 0);

  TermiosPort port, second;
  ASSERT_EQ(port.Open(pty.path), 0);
  EXPECT_TRUE(port.IsOpen());
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CLOCAL | CREAD), tcflag_t{CS8 | CLOCAL | CREAD});
  EXPECT_EQ(cfgetispeed(&t), speed_t{B19200});
  EXPECT_EQ(cfgetospeed(&t), speed_t{B19200});
  EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);
  EXPECT_EQ(t.c_cc[VMIN] + t.c_cc[VTIME], 0);
  const std::string binary("\0\xff\n", 3);
  for (char b : binary) ASSERT_EQ(port.WriteByte(static_cast<std::uint8_t>(b)), 0);
  EXPECT_EQ(pty.Receive(3), binary) << "written as they are";

  EXPECT_EQ(second.Open(pty.path), 1) << "a second program would steal bytes";
  EXPECT_FALSE(second.IsOpen());
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(second.Open(pty.path), 0);
}

TEST(TermiosPort, ExactQueueCountsPartialReadsPurgeAndWaits) {
  Pty pty;
  TermiosPort port;
  ASSERT_EQ(port.Open(pty.path), 0);
  EXPECT_TRUE(port.CanWake());
  EXPECT_EQ(port.QueuedCount(), 0u);
  EXPECT_FALSE(port.WaitForInput(30)) << "nothing came";
  pty.Send("hello");
  ASSERT_EQ(QueueUntil(port, 5), 5u);
  EXPECT_FALSE(port.WaitForInput(30)) << "queued bytes are no news";
  EXPECT_EQ(ReadText(port, 3), "hel");
  EXPECT_EQ(port.QueuedCount(), 2u);
  EXPECT_EQ(ReadText(port, 8), "lo");

  // More than the queue holds: it stops at its size, a wait on the full
  // queue does not report input, and nothing is lost or repeated.
  std::string big(6000, '\0'), got;
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
  std::thread writer([&] { pty.Send(big); });
  EXPECT_EQ(QueueUntil(port, TermiosPort::ReceiveQueueSize), TermiosPort::ReceiveQueueSize);
  EXPECT_FALSE(port.WaitForInput(20));
  for (const auto end = Steady::now() + 10s; got.size() < big.size() && Steady::now() < end;)
    got += QueueUntil(port, 1) ? ReadText(port, 1000) : "";
  writer.join();
  EXPECT_TRUE(got == big) << got.size() << " bytes";

  // Purging drops the queue and what is still with the driver.
  pty.Send("abc");
  ASSERT_EQ(QueueUntil(port, 3), 3u);
  pty.Send("def");
  ASSERT_TRUE(port.WaitForInput(10000));
  port.PurgeReceive();
  EXPECT_EQ(port.QueuedCount(), 0u);

  // A wait ends on Wake() from another thread or when bytes come; the time
  // is checked only for sanity, far below the 30 s asked for.
  for (bool data : {false, true}) {
    std::thread other([&] {
      std::this_thread::sleep_for(20ms);
      data ? pty.Send("xyz") : port.Wake();
    });
    const auto t0 = Steady::now();
    EXPECT_EQ(port.WaitForInput(30000), data);
    EXPECT_LT(Steady::now() - t0, 20s);
    other.join();
  }
  ASSERT_EQ(QueueUntil(port, 3), 3u);
  EXPECT_EQ(ReadText(port, 8), "xyz");

  // Asked for a count, a wait sleeps through fewer bytes (counting those
  // queued already) and ends when the count is in, or on Wake().
  pty.Send("ab");
  ASSERT_EQ(QueueUntil(port, 2), 2u);
  port.WakeAtCount(7);
  pty.Send("cd");
  EXPECT_FALSE(port.WaitForInput(200)) << "4 of 7";
  std::thread rest([&] {
    std::this_thread::sleep_for(20ms);
    pty.Send("efg");
  });
  EXPECT_TRUE(port.WaitForInput(30000));
  rest.join();
  EXPECT_EQ(QueueUntil(port, 7), 7u);
  EXPECT_EQ(ReadText(port, 8), "abcdefg");
  port.WakeAtCount(300);  // more than a terminal can be asked for: as many as it can
  pty.Send("h");
  EXPECT_FALSE(port.WaitForInput(100));
  std::thread waker([&] {
    std::this_thread::sleep_for(20ms);
    port.Wake();
  });
  const auto t0 = Steady::now();
  EXPECT_FALSE(port.WaitForInput(30000));
  EXPECT_LT(Steady::now() - t0, 20s);
  waker.join();
  port.WakeAtCount(1);
  EXPECT_TRUE(port.WaitForInput(30000)) << "any byte again";
  EXPECT_EQ(ReadText(port, 8), "h");
}

TEST(TermiosPort, AVanishedFarEndIsReportedWithoutSpinningAndReopenFindsTheLineAgain) {
  TermiosPort port;
  EXPECT_EQ(port.Reopen(), 1) << "nothing was ever opened";
  test::TempDir dir;
  const auto link = dir.path / "COM2";
  auto first = std::make_unique<Pty>();
  Pty second;  // made now so that it cannot take the first one's name
  std::filesystem::create_symlink(first->path, link);
  ASSERT_EQ(port.Open(link.string()), 0);
  EXPECT_FALSE(port.HungUp());
  first.reset();
  for (const auto end = Steady::now() + 10s; !port.HungUp() && Steady::now() < end; port.WaitForInput(50))
    port.QueuedCount();
  ASSERT_TRUE(port.HungUp());
  EXPECT_EQ(port.WriteByte('?'), 1);
  // A dead line must not make waits return at once: each sleeps out its time.
  const auto t0 = Steady::now();
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(port.WaitForInput(40)) << i;
  EXPECT_GE(Steady::now() - t0, 150ms);

  EXPECT_EQ(port.Reopen(), 1) << "the link still names the vanished line";
  EXPECT_TRUE(port.IsOpen() && port.HungUp()) << "the old handle stays";
  std::filesystem::remove(link);
  std::filesystem::create_symlink(second.path, link);  // the instrument is back
  ASSERT_EQ(port.Reopen(), 0);
  EXPECT_FALSE(port.HungUp());
  TermiosPort other;
  EXPECT_EQ(other.Open(second.path), 1) << "the new handle is held exclusively";
  second.Send("ok");
  ASSERT_EQ(QueueUntil(port, 2), 2u);
  EXPECT_EQ(ReadText(port, 8), "ok");
  ASSERT_EQ(port.WriteByte('!'), 0);
  EXPECT_EQ(second.Receive(1), "!");
}

}  // namespace
}  // namespace kt
