// Port.cfg, the COMn device mapping, the termios port on a pseudo-terminal,
// and the poller thread's life cycle.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "link/Form.h"
#include "link/InputThread.h"
#include "link/PortConfig.h"
#include "platform/TermiosPort.h"
#include "support/Fakes.h"

namespace fs = std::filesystem;

namespace kt {
namespace {

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/kt-port-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() {
    chmod(path.c_str(), 0700);
    fs::remove_all(path);
  }
  std::string File(const char* name) const { return (path / name).string(); }
};

std::string ReadAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const std::string& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

using Rig = test::FormRig;

TEST(PortConfig, KeepsCom1OrCom2AndRewritesAnythingElseAsCom2) {
  struct Case {
    const char* name;
    std::string content;  // empty name: file missing
    const char* port;
    bool rewritten;
  } cases[] = {
      {"missing", "", "COM2", true},
      {"com1", std::string("COM1\0\0", 6), "COM1", false},
      {"com2", std::string("COM2\0\0", 6), "COM2", false},
      {"short", "COM1", "COM1", false},  // four bytes: the terminator is implied
      {"long", std::string("COM1\0\0garbage after", 19), "COM1", false},
      {"other", std::string("COM3\0\0", 6), "COM2", true},
      {"unterminated", "COM12345", "COM2", true},
      {"empty", std::string("\0", 1), "COM2", true},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string cfg = dir.File("Port.cfg");
    if (std::string(c.name) != "missing") WriteAll(cfg, c.content);
    Rig r;
    ReadPortConfig(*r.form, cfg);
    EXPECT_STREQ(r.form->PortName, c.port) << c.name;
    if (c.rewritten) {
      const std::string now = ReadAll(cfg);
      ASSERT_GE(now.size(), 6u) << c.name;
      EXPECT_EQ(now.substr(0, 6), std::string("COM2\0\0", 6)) << c.name;
    } else {
      EXPECT_EQ(ReadAll(cfg), c.content) << c.name;
    }
    EXPECT_TRUE(r.host.messages.empty()) << c.name;
  }
}

TEST(PortConfig, RewritingDoesNotTruncateALongerFile) {
  TempDir dir;
  const std::string cfg = dir.File("Port.cfg");
  WriteAll(cfg, std::string("COM9\0\0tail-bytes", 16));
  Rig r;
  ReadPortConfig(*r.form, cfg);
  EXPECT_EQ(ReadAll(cfg), std::string("COM2\0\0tail-bytes", 16));
}

TEST(PortConfig, AnUnwritableFolderIsReportedAndTheNameKept) {
  if (geteuid() == 0) {
    // root ignores permissions; use a path whose folder does not exist.
    Rig r;
    ReadPortConfig(*r.form, "/nonexistent-folder/Port.cfg");
    EXPECT_STREQ(r.form->PortName, "COM2");
    ASSERT_EQ(r.host.messages.size(), 1u);
    EXPECT_EQ(r.host.messages[0], std::make_pair(std::string("存文件失败!"), std::string("警告")));
    return;
  }
  TempDir dir;
  chmod(dir.path.c_str(), 0500);
  Rig r;
  ReadPortConfig(*r.form, dir.File("Port.cfg"));
  EXPECT_STREQ(r.form->PortName, "COM2");
  ASSERT_EQ(r.host.messages.size(), 1u);
  EXPECT_EQ(r.host.messages[0].first, "存文件失败!");
}

TEST(PortConfig, WritingToAFullDeviceIsNotASilentSuccess) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  Rig r;
  std::strcpy(r.form->PortName, "COM1");
  EXPECT_EQ(WritePortConfig(*r.form, "/dev/full"), 1);
  ASSERT_EQ(r.host.messages.size(), 1u);
  EXPECT_EQ(r.host.messages[0].first, "存文件失败!");
}

TEST(DevicePath, ALocalLinkNamedLikeThePortWinsEvenWhenDangling) {
  TempDir dir;
  EXPECT_EQ(DevicePathFor("COM1", dir.path.string()), "/dev/ttyS0");
  EXPECT_EQ(DevicePathFor("COM2", dir.path.string()), "/dev/ttyS1");
  fs::create_symlink("/nonexistent/tty", dir.path / "COM2");
  EXPECT_EQ(DevicePathFor("COM2", dir.path.string()), dir.File("COM2"));
  EXPECT_EQ(DevicePathFor("COM1", dir.path.string()), "/dev/ttyS0");
}

TEST(OpenPort, AFailureIsReportedAndTheProgramGoesOn) {
  TempDir dir;
  fs::create_symlink("/nonexistent/tty", dir.path / "COM2");
  test::FakeClock clock;
  test::FakeHost host;
  TermiosPort port;
  Form form(host, port, clock);
  std::strcpy(form.PortName, "COM2");
  EXPECT_EQ(OpenPort(form, dir.path.string()), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], std::make_pair(std::string("打开通讯口失败！"), std::string("警告！")));
  EXPECT_FALSE(port.IsOpen());
  // A regular file is no terminal: configuring it fails the same way.
  fs::remove(dir.path / "COM2");
  WriteAll(dir.File("COM2"), "not a tty");
  EXPECT_EQ(OpenPort(form, dir.path.string()), 1);
  EXPECT_EQ(host.messages.size(), 2u);
}

struct Pty {
  int master = -1;
  std::string slave;
  int slaveKeep = -1;
  Pty() {
    char name[256];
    // The port puts the line in raw mode itself when it opens it.
    openpty(&master, &slaveKeep, name, nullptr, nullptr);
    slave = name;
  }
  ~Pty() {
    if (master >= 0) close(master);
    if (slaveKeep >= 0) close(slaveKeep);
  }
  void Send(const std::string& s) const { ASSERT_EQ(write(master, s.data(), s.size()), ssize_t(s.size())); }
  // What the port wrote, up to n bytes or one second. A pseudo-terminal
  // hands bytes over asynchronously, so one read may return only a part.
  std::string Receive(std::size_t n) const {
    std::string got;
    while (got.size() < n) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) break;
      char buf[64];
      const ssize_t k = read(master, buf, std::min(sizeof buf, n - got.size()));
      if (k <= 0) break;
      got.append(buf, static_cast<std::size_t>(k));
    }
    return got;
  }
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST(TermiosPort, QueuesBytesExactlyAndWaitsWithoutSpinning) {
  Pty pty;
  TermiosPort port;
  ASSERT_EQ(port.Open(pty.slave), 0);
  EXPECT_EQ(port.QueuedCount(), 0u);
  pty.Send("hello");
  while (port.QueuedCount() < 5 && port.WaitForInput(1000)) {
  }
  EXPECT_EQ(port.QueuedCount(), 5u);
  // Bytes already queued do not make the port "readable" again: the wait
  // sleeps until new ones come.
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.WaitForInput(200));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(190));
  EXPECT_LT(CpuSeconds() - cpu0, 0.1) << "the wait sleeps";
  std::uint8_t buf[8] = {};
  EXPECT_EQ(port.Read(buf, 3), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "hel");
  EXPECT_EQ(port.QueuedCount(), 2u);
  port.PurgeReceive();
  EXPECT_EQ(port.QueuedCount(), 0u);

  // Writing reaches the other end byte for byte, binary included.
  ASSERT_EQ(port.WriteByte('?'), 0);
  ASSERT_EQ(port.WriteByte(0x00), 0);
  ASSERT_EQ(port.WriteByte(0xFF), 0);
  EXPECT_EQ(pty.Receive(3), std::string("?\0\xff", 3));
}

TEST(TermiosPort, ASecondOpenOfTheSameLineIsRefused) {
  Pty pty;
  TermiosPort a, b;
  ASSERT_EQ(a.Open(pty.slave), 0);
  EXPECT_EQ(b.Open(pty.slave), 1);
  a.Close();
  EXPECT_EQ(b.Open(pty.slave), 0);
}

TEST(TermiosPort, WakeEndsAWaitFromAnotherThread) {
  Pty pty;
  TermiosPort port;
  ASSERT_EQ(port.Open(pty.slave), 0);
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    port.Wake();
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.WaitForInput(5000));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2000));
  waker.join();
}

TEST(TermiosPort, AVanishedPeerDoesNotMakeWaitsSpin) {
  auto pty = std::make_unique<Pty>();
  TermiosPort port;
  ASSERT_EQ(port.Open(pty->slave), 0);
  pty->Send("ab");
  pty.reset();  // master and the helper's slave gone: hang-up
  const double cpu0 = CpuSeconds();
  int trueWaits = 0;
  for (int i = 0; i < 20; ++i) trueWaits += port.WaitForInput(20) ? 1 : 0;
  EXPECT_LE(trueWaits, 1);
  EXPECT_TRUE(port.HungUp());
  EXPECT_LT(CpuSeconds() - cpu0, 0.1);
  EXPECT_LE(port.QueuedCount(), 2u);
  EXPECT_EQ(port.WriteByte('?'), 1) << "writing to a vanished line fails";
}

// A stand-in for the window thread: runs posted closures in order.
class WindowThread {
 public:
  WindowThread() : t_([this] { Loop(); }) {}
  ~WindowThread() {
    {
      std::lock_guard<std::mutex> g(m_);
      quit_ = true;
    }
    cv_.notify_all();
    t_.join();
  }
  void Post(std::function<void()> fn) {
    {
      std::lock_guard<std::mutex> g(m_);
      q_.push_back(std::move(fn));
    }
    cv_.notify_all();
  }
  std::atomic<bool> frozen{false};  // a window thread busy elsewhere

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
      cv_.wait(lock, [&] { return quit_ || (!q_.empty() && !frozen); });
      if (quit_) return;
      auto fn = std::move(q_.front());
      q_.pop_front();
      lock.unlock();
      fn();
      lock.lock();
    }
  }
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> q_;
  bool quit_ = false;
  std::thread t_;
};

TEST(InputThread, ChecksWhenBytesArriveAndIdlesOtherwise) {
  Pty pty;
  TermiosPort port;
  ASSERT_EQ(port.Open(pty.slave), 0);
  WindowThread window;
  std::atomic<int> checks{0};
  std::atomic<unsigned> seen{0};
  InputThread poller(
      port,
      [&] {
        ++checks;
        seen = port.QueuedCount();
        return 1000;
      },
      [&](std::function<void()> fn) { window.Post(std::move(fn)); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(checks.load(), 2) << "idle: about one check a second";
  const int before = checks.load();
  pty.Send("xyz");
  const auto t0 = std::chrono::steady_clock::now();
  while (seen.load() < 3 && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(2))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(seen.load(), 3u);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200)) << "bytes are noticed at once";
  EXPECT_GT(checks.load(), before);
  poller.Stop();
}

TEST(InputThread, StoppingNeverWaitsForACheckTheWindowThreadHasNotRun) {
  Pty pty;
  TermiosPort port;
  ASSERT_EQ(port.Open(pty.slave), 0);
  WindowThread window;
  window.frozen = true;  // the window thread never gets to the check
  std::atomic<int> checks{0};
  auto poller = std::make_unique<InputThread>(
      port, [&] { return ++checks, 10; }, [&](std::function<void()> fn) { window.Post(std::move(fn)); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto t0 = std::chrono::steady_clock::now();
  poller->Stop();
  poller.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
  window.frozen = false;  // the stale check now runs and must do nothing
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(checks.load(), 0);
}

}  // namespace
}  // namespace kt
