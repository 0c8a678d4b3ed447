// Port.cfg, the device behind a port name, opening the port, and the receive
// poller's life.
#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <semaphore>
#include <thread>

#include "link/InputThread.h"
#include "link/PortConfig.h"
#include "platform/TermiosPort.h"
#include "support/Fakes.h"
#include "support/Files.h"

namespace kt {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Messages = std::vector<std::pair<std::string, std::string>>;
const Messages SaveFailed{{"存文件失败!", "警告"}};

TEST(PortConfig, KeepsCom1OrCom2AndRewritesAnythingElseAsCom2) {
  const std::tuple<bool, std::string, const char*, std::string> cases[] = {
      // exists, content, port, content after
      {false, "", "COM2", "COM2\0\0"s},
      {true, "COM1\0\0"s, "COM1", "COM1\0\0"s},
      {true, "COM2\0\0"s, "COM2", "COM2\0\0"s},
      {true, "COM1", "COM1", "COM1"},  // the terminator may be missing at the file's end
      {true, "COM1\0\0garbage"s, "COM1", "COM1\0\0garbage"s},
      {true, "COM3\0\0"s, "COM2", "COM2\0\0"s},
      {true, "com1\0\0"s, "COM2", "COM2\0\0"s},
      {true, "COM12345", "COM2", "COM2\0\0"s},
      {true, "COM9\0\0tail-bytes"s, "COM2", "COM2\0\0"s},  // the whole file replaced
      {true, "", "COM2", "COM2\0\0"s},
  };
  for (const auto& [exists, content, port, after] : cases) {
    test::TempDir dir;
    const std::string cfg = dir.File("Port.cfg");
    if (exists) test::WriteBytes(cfg, content);
    test::FormRig rig;
    std::strcpy(rig.f().PortName, "XXXX");
    ReadPortConfig(rig.f(), cfg);
    EXPECT_STREQ(rig.f().PortName, port) << content;
    const auto bytes = test::ReadBytes(cfg);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), after) << content;
    EXPECT_TRUE(rig.host.messages.empty()) << content;
  }
}

TEST(PortConfig, AFailedWriteIsReportedAndTheNameKept) {
  const std::string nowhere = "/nonexistent-kt-folder/Port.cfg";  // fails for root too
  test::FormRig rig;
  ReadPortConfig(rig.f(), nowhere);
  EXPECT_STREQ(rig.f().PortName, "COM2");
  EXPECT_EQ(rig.host.messages, SaveFailed);
  test::TempDir dir;
  for (const std::string& path : {nowhere, "/dev/full"s, dir.File("Port.cfg")}) {
    test::FormRig r;
    std::strcpy(r.f().PortName, "COM1");
    const bool ok = path == dir.File("Port.cfg");
    EXPECT_EQ(WritePortConfig(r.f(), path), ok ? 0 : 1) << path;
    EXPECT_STREQ(r.f().PortName, "COM1");
    EXPECT_EQ(r.host.messages, ok ? Messages{} : SaveFailed) << path;
  }
}

TEST(PortConfig, ALocalEntryNamedLikeThePortWinsEvenWhenDangling) {
  test::TempDir dir;
  const std::string d = dir.path.string();
  EXPECT_EQ(DevicePathFor("COM1", d), "/dev/ttyS0");
  EXPECT_EQ(DevicePathFor("COM2", d), "/dev/ttyS1");
  std::filesystem::create_symlink("/nonexistent/tty", dir.path / "COM2");
  EXPECT_EQ(DevicePathFor("COM2", d), dir.File("COM2"));
  EXPECT_EQ(DevicePathFor("COM1", d), "/dev/ttyS0");
  test::WriteBytes(dir.File("COM1"), "x"s);
  EXPECT_EQ(DevicePathFor("COM1", d), dir.File("COM1"));

  // OpenPort opens what the name leads to, or tells the operator.
  int master = -1, slave = -1;
  char tty[128];
  ASSERT_EQ(openpty(&master, &slave, tty, nullptr, nullptr), 0);
  std::filesystem::remove(dir.path / "COM1");
  std::filesystem::create_symlink(tty, dir.path / "COM1");
  for (const char* name : {"COM1", "COM2"}) {
    const bool good = name == "COM1"s;
    test::FakeClock clock;
    test::FakeHost host;
    TermiosPort line;
    Form form(host, line, clock);
    std::strcpy(form.PortName, name);
    form.Link.ExpectedCount = 512;
    EXPECT_EQ(OpenPort(form, d), good ? 0 : 1) << name;
    EXPECT_EQ(line.IsOpen(), good) << name;
    EXPECT_EQ(host.messages, (good ? Messages{} : Messages{{"打开通讯口失败！", "警告！"}})) << name;
    EXPECT_EQ(form.Link.ExpectedCount, good ? 1u : 512u) << name;
  }
  close(master), close(slave);
}

// A port whose waits end only when the test lets input arrive or Wake() is
// called, whatever their timeout; it keeps the timeouts asked for.
class GatePort final : public SerialPort {
 public:
  int Open(const std::string&) override { return 0; }
  void Close() override {}
  bool IsOpen() const override { return true; }
  int WriteByte(std::uint8_t) override { return 0; }
  unsigned Read(std::uint8_t*, unsigned) override { return 0; }
  unsigned QueuedCount() override { return 0; }
  void PurgeReceive() override {}
  bool WaitForInput(int timeoutMs) override {
    {
      std::lock_guard<std::mutex> l(m_);
      waits_.push_back(timeoutMs);
    }
    gate_.try_acquire_for(30s);
    return !woken_.exchange(false);
  }
  void Wake() override { woken_ = true, gate_.release(); }
  void Arrive() { gate_.release(); }
  std::vector<int> Waits() {
    std::lock_guard<std::mutex> l(m_);
    return waits_;
  }

 private:
  std::counting_semaphore<64> gate_{0};
  std::atomic<bool> woken_{false};
  std::mutex m_;
  std::vector<int> waits_;
};

// Waits on state, with a limit far beyond any machine's slowness.
template <typename Pred>
bool Eventually(Pred pred) {
  for (const auto end = std::chrono::steady_clock::now() + 20s; !pred(); std::this_thread::sleep_for(1ms))
    if (std::chrono::steady_clock::now() > end) return false;
  return true;
}

TEST(InputThread, ChecksAtStartAndOnInputAndSleepsAsTheCheckSays) {
  GatePort port;
  const int answers[] = {1000, 250, 0, 1000, 1000};  // 0: check again at once
  std::atomic<int> checks{0};
  InputThread poller(
      port, [&] { return answers[std::min(checks++, 4)]; }, [](std::function<void()> fn) { fn(); });
  ASSERT_TRUE(Eventually([&] { return port.Waits().size() == 1; }));
  EXPECT_EQ(checks.load(), 1) << "one check at start, then asleep";
  port.Arrive();
  ASSERT_TRUE(Eventually([&] { return port.Waits().size() == 2; }));
  EXPECT_EQ(checks.load(), 2);
  port.Arrive();
  ASSERT_TRUE(Eventually([&] { return port.Waits().size() == 3; }));
  EXPECT_EQ(checks.load(), 4);
  EXPECT_EQ(port.Waits(), (std::vector<int>{1000, 250, 1000}));
  poller.Stop();
  EXPECT_EQ(checks.load(), 4) << "woken to stop, not to check";
}

TEST(InputThread, StopNeverWaitsForACheckTheWindowThreadHasNotRun) {
  GatePort port;
  std::mutex m;
  std::vector<std::function<void()>> queued;  // a window thread busy elsewhere
  std::atomic<int> checks{0};
  InputThread poller(
      port, [&] { return ++checks, 1000; },
      [&](std::function<void()> fn) {
        std::lock_guard<std::mutex> l(m);
        queued.push_back(std::move(fn));
      });
  ASSERT_TRUE(Eventually([&] {
    std::lock_guard<std::mutex> l(m);
    return !queued.empty();
  }));
  auto stopped = std::make_shared<std::promise<void>>();
  std::thread([&poller, stopped] { poller.Stop(), stopped->set_value(); }).detach();
  if (stopped->get_future().wait_for(20s) != std::future_status::ready) {
    std::fprintf(stderr, "InputThread::Stop deadlocked on a check that was never run\n");
    std::_Exit(1);
  }
  for (auto& fn : queued) fn();  // the window thread gets round to it at last: nothing happens
  EXPECT_EQ(checks.load(), 0);
}

}  // namespace
}  // namespace kt
