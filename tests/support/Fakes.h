#pragma once
// Test doubles of the platform: a clock on simulated time, a recording host,
// and a port whose far end is a script or the simulated instrument, on the
// same simulated time.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analysis/AnalysisRun.h"
#include "core/AnalysisData.h"
#include "link/Form.h"
#include "link/Resets.h"
#include "link/TestRun.h"
#include "measurements/MeasurementKinds.h"
#include "platform/Clock.h"
#include "platform/Host.h"
#include "platform/SerialPort.h"
#include "sim/Instrument.h"
#include "sim/Responder.h"

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
  std::vector<int> progress, analysisProgress;
  std::vector<std::pair<std::string, std::string>> messages;
  bool timer1 = false, alarm = false, lockBtnDown = false, hanZiBtnDown = false, gaoEnabled = false;
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

// A port whose other end runs on simulated time: bytes the program writes go
// to `onWrite`, which may schedule answers; a wait moves the clock on to the
// next answer or to the end of the wait.
class ScriptedPort final : public SerialPort {
 public:
  explicit ScriptedPort(FakeClock& clock) : clock_(clock) {}

  std::vector<std::uint8_t> written;
  std::deque<std::uint8_t> queue;
  std::function<void(ScriptedPort&, std::uint8_t)> onWrite;
  bool open = true;
  int purges = 0;
  // The line went away under the port (an instrument switched off); every
  // Reopen() is counted and fails.
  bool hungUp = false;
  int reopens = 0;
  unsigned wakeAt = 1;  // the count the last WakeAtCount asked for

  void ArriveAfter(std::uint32_t ms, std::vector<std::uint8_t> bytes) {
    pending_.emplace(clock_.now + ms, std::move(bytes));
  }
  void ArriveNow(const std::vector<std::uint8_t>& bytes) { queue.insert(queue.end(), bytes.begin(), bytes.end()); }
  std::string WrittenText() const { return std::string(written.begin(), written.end()); }
  bool Pending() const { return !pending_.empty(); }

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
    for (; k < n && !queue.empty(); ++k) {
      buf[k] = queue.front();
      queue.pop_front();
    }
    return k;
  }
  unsigned QueuedCount() override {
    Deliver();
    return static_cast<unsigned>(queue.size());
  }
  void WakeAtCount(unsigned count) override { wakeAt = count; }
  void PurgeReceive() override {
    Deliver();
    queue.clear();
    ++purges;
  }
  bool WaitForInput(int timeoutMs) override {
    const std::uint32_t end = clock_.now + static_cast<std::uint32_t>(timeoutMs);
    if (!pending_.empty() && static_cast<std::int32_t>(pending_.begin()->first - end) <= 0) {
      clock_.now = std::max(clock_.now, pending_.begin()->first);
      Deliver();
      return true;
    }
    clock_.now = end;
    return false;
  }
  void Wake() override {}
  bool HungUp() const override { return hungUp; }
  int Reopen() override { return ++reopens, 1; }

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

// A Form on the fakes with every kind plugged in, empty results and the
// start values of the Back/Next copies, as the main window has them after
// start-up. `Attach` puts the simulated instrument on the line: each reply
// comes `latencyMs` after the byte that asked for it.
struct FormRig {
  FakeClock clock;
  FakeHost host;
  ScriptedPort port{clock};
  AnalysisData analysis;
  std::unique_ptr<Form> form = std::make_unique<Form>(host, port, clock);
  std::unique_ptr<sim::Instrument> instrument;
  std::unique_ptr<sim::Responder> responder;

  FormRig() {
    PrepareForm(*form);
    form->Analysis = &analysis;
    form->ChineseMode = 1;
  }
  Form& f() { return *form; }

  void Attach(std::uint64_t seed = 7, std::uint32_t latencyMs = 5, bool orderFlag = false) {
    instrument = std::make_unique<sim::Instrument>(seed, orderFlag);
    responder = std::make_unique<sim::Responder>(*instrument);
    port.onWrite = [this, latencyMs](ScriptedPort& p, std::uint8_t b) {
      if (auto reply = responder->OnByte(b)) p.ArriveAfter(latencyMs, reply->Bytes);
    };
  }

  // Instead of the instrument: the handshake is answered, then each command
  // or acknowledge gets the next of `blocks`.
  void Feed(std::vector<std::vector<std::uint8_t>> blocks, std::uint32_t latencyMs = 5) {
    auto rest = std::make_shared<std::deque<std::vector<std::uint8_t>>>(blocks.begin(), blocks.end());
    port.onWrite = [rest, latencyMs](ScriptedPort& p, std::uint8_t b) {
      if (b == '?') {
        p.ArriveAfter(latencyMs, {'A'});
      } else if (!rest->empty()) {
        p.ArriveAfter(latencyMs, rest->front());
        rest->pop_front();
      }
    };
  }

  // Runs the poller's check and the posted steps as the window would, on
  // simulated time, until no run is under way and nothing is posted, or
  // `limitMs` of simulated time have passed. Timer1 is not run.
  void Drive(std::uint32_t limitMs = 20000) {
    const std::uint32_t end = clock.now + limitMs;
    while (static_cast<std::int32_t>(end - clock.now) > 0) {
      if (host.posts > 0) {
        --host.posts;
        StepDispatch(*form);
        continue;
      }
      const int wait = PollerCheck(*form);
      if (host.posts > 0) continue;
      if (form->RunKind == NoTest && form->CommStep == 0 && !port.Pending() && port.QueuedCount() == 0) return;
      port.WaitForInput(wait);
    }
  }
  // A test command's first step, then everything up to the run's end.
  void Run(TestKind kind, bool locked = true) {
    form->SelectedKind = kind;
    form->TestLocked = locked ? 1 : 0;
    form->StartRequested = 1;
    StepDispatch(*form);
    Drive();
  }
};

}  // namespace kt::test
