#pragma once
#include <cstdint>
#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Host.h"
#include "platform/SerialPort.h"

namespace kt::test {

class FakeClock final : public Clock {
 public:
  std::uint32_t now = 1000;
  UtcDate today{2026, 12, 6};
  std::uint32_t TickCount() override { return now; }
  UtcDate Today() override { return today; }
};

// Records what a test run asked of the windows.
class FakeHost final : public Host {
 public:
  std::vector<std::string> statuses;
  std::vector<int> progress;
  std::vector<int> analysisProgress;
  std::vector<std::pair<std::string, std::string>> messages;
  bool timer1 = false;
  bool alarm = false;
  bool lockBtnDown = false;
  bool hanZiBtnDown = false;
  bool gaoEnabled = false;
  int repaints = 0, analysisRepaints = 0, closes = 0, posts = 0, prompts = 0;

  void Repaint() override { ++repaints; }
  void RepaintAnalysis() override { ++analysisRepaints; }
  void SetStatusText(const std::string& s) override { statuses.push_back(s); }
  void SetProgress(int p) override { progress.push_back(p); }
  void SetAnalysisProgress(int p) override { analysisProgress.push_back(p); }
  void EnableTimer1(bool on) override { timer1 = on; }
  void ShowAlarm(bool v) override { alarm = v; }
  void MessageBox(const std::string& t, const std::string& c) override { messages.emplace_back(t, c); }
  void CloseMainWindow() override { ++closes; }
  void SetLockTestBtnDown(bool d) override { lockBtnDown = d; }
  void SetHanZiBtnDown(bool d) override { hanZiBtnDown = d; }
  void SetGaoTestEnabled(bool e) override { gaoEnabled = e; }
  void DrawStartPrompt() override { ++prompts; }
  void PostCommData() override { ++posts; }
};

class FakeDialogs final : public Dialogs {
 public:
  std::vector<std::pair<std::string, std::string>> messages;
  void MessageBox(const std::string& t, const std::string& c) override { messages.emplace_back(t, c); }
};

// A port whose other end is a script running on simulated time: bytes the
// program writes go to `onWrite`, which may schedule answers at a tick; a
// wait moves the clock to the next answer or to the end of the wait.
class ScriptedPort final : public SerialPort {
 public:
  explicit ScriptedPort(FakeClock& clock) : clock_(clock) {}

  std::vector<std::uint8_t> written;
  std::deque<std::uint8_t> queue;
  std::function<void(ScriptedPort&, std::uint8_t)> onWrite;
  bool open = true;
  int purges = 0;

  // Bytes that become readable at tick `at`.
  void ArriveAt(std::uint32_t at, std::vector<std::uint8_t> bytes) { pending_.emplace(at, std::move(bytes)); }
  void ArriveNow(const std::vector<std::uint8_t>& bytes) { queue.insert(queue.end(), bytes.begin(), bytes.end()); }
  std::string WrittenText() const { return std::string(written.begin(), written.end()); }

  int Open(const std::string&) override { return open ? 0 : 1; }
  void Close() override { open = false; }
  bool IsOpen() const override { return open; }
  int WriteByte(std::uint8_t b) override {
    written.push_back(b);
    if (onWrite) onWrite(*this, b);
    return 0;
  }
  unsigned Read(std::uint8_t* buf, unsigned n) override {
    Deliver();
    unsigned k = 0;
    while (k < n && !queue.empty()) {
      buf[k++] = queue.front();
      queue.pop_front();
    }
    return k;
  }
  unsigned QueuedCount() override {
    Deliver();
    return static_cast<unsigned>(queue.size());
  }
  void PurgeReceive() override {
    Deliver();
    queue.clear();
    ++purges;
  }
  bool WaitForInput(int timeoutMs) override {
    ++waits;
    const std::uint32_t end = clock_.now + static_cast<std::uint32_t>(timeoutMs);
    if (!pending_.empty() && static_cast<std::int32_t>(pending_.begin()->first - end) <= 0) {
      clock_.now = std::max(clock_.now, pending_.begin()->first);
      Deliver();
      return true;
    }
    clock_.now = end;
    return false;
  }
  void Wake() override { ++wakes; }
  int waits = 0, wakes = 0;

 private:
  void Deliver() {
    while (!pending_.empty() && static_cast<std::int32_t>(pending_.begin()->first - clock_.now) <= 0) {
      const auto& bytes = pending_.begin()->second;
      queue.insert(queue.end(), bytes.begin(), bytes.end());
      pending_.erase(pending_.begin());
    }
  }
  FakeClock& clock_;
  std::multimap<std::uint32_t, std::vector<std::uint8_t>> pending_;
};

}  // namespace kt::test

#include <memory>

#include "link/Form.h"
#include "link/Resets.h"

namespace kt::test {

// A Form on the fakes, with empty results and the start values of the
// Back/Next copies, as the main window has them after start-up.
struct FormRig {
  FakeClock clock;
  FakeHost host;
  ScriptedPort port{clock};
  std::unique_ptr<Form> form = std::make_unique<Form>(host, port, clock);
  FormRig() {
    ClearResults(form->M);
    InitSnapshots(form->M);
  }
};

}  // namespace kt::test
