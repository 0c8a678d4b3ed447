// How long after the last byte of a block reaches the port does its step run,
// and how long after the last block of a run is its page on the screen?
// The benchmark plays the instrument itself on a pseudo-terminal (so it knows
// when each block is complete), runs continuous input tests in the main
// window on Qt's offscreen platform, and timestamps the step through the
// status text it writes and the page through the paint box's paint event.
// Prints figures, not a verdict.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/TermiosPort.h"
#include "shell/ScriptedDialogs.h"
#include "shell/TKT5100Form.h"

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_m;
std::vector<Clock::time_point> g_blockDone;  // last byte of block 1 written
std::vector<Clock::time_point> g_stepRan;    // step 1 showed its progress
std::vector<Clock::time_point> g_lastDone;   // last byte of the run's last block written
std::vector<Clock::time_point> g_painted;    // the page painted after the run's end
bool g_runEnded = false;                     // window thread only

class Probe : public kt::TKT5100Form {
 public:
  using kt::TKT5100Form::TKT5100Form;
  void SetStatusText(const std::string& s) override {
    if (s.size() >= 3 && s.compare(s.size() - 3, 3, "45%") == 0) {
      std::lock_guard<std::mutex> g(g_m);
      g_stepRan.push_back(Clock::now());
    }
    if (s.size() >= 4 && s.compare(s.size() - 4, 4, "100%") == 0) g_runEnded = true;
    kt::TKT5100Form::SetStatusText(s);
  }
};

// Paints the box itself, so the time taken is when the page is finished.
class PaintWatch : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::Paint || !g_runEnded) return false;
    g_runEnded = false;
    static_cast<QWidget*>(watched)->removeEventFilter(this);
    QCoreApplication::sendEvent(watched, e);
    watched->installEventFilter(this);
    std::lock_guard<std::mutex> g(g_m);
    g_painted.push_back(Clock::now());
    return true;
  }
};

// The instrument: answers "?", and sends the three input blocks on request.
void Instrument(int master, std::atomic<bool>& stop) {
  std::vector<std::uint8_t> frame(512, 0x11), values(40, 0);
  int block = 0;
  while (!stop) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    std::uint8_t b;
    if (read(master, &b, 1) != 1) continue;
    if (b == '?') {
      const std::uint8_t a = 'A';
      (void)!write(master, &a, 1);
    } else if (b == '0' || b == '!') {
      block = (b == '0') ? 0 : block + 1;
      const auto& data = block < 2 ? frame : values;
      (void)!write(master, data.data(), data.size());
      std::lock_guard<std::mutex> g(g_m);
      if (block == 0) g_blockDone.push_back(Clock::now());
      if (block == 2) g_lastDone.push_back(Clock::now());
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  namespace fs = std::filesystem;
  char tmpl[] = "/tmp/kt-bench-XXXXXX";
  const fs::path dir = mkdtemp(tmpl);
  fs::current_path(dir);

  int master = -1, slave = -1;
  char name[256];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
  fs::create_symlink(name, dir / "COM2");

  QApplication app(argc, argv);
  std::atomic<bool> stop{false};
  std::thread instrument(Instrument, master, std::ref(stop));

  kt::ScriptedDialogs dialogs;
  dialogs.echoMessages = true;
  kt::TermiosPort port;
  kt::SystemClock clock;
  Probe window({dialogs, port, clock});
  window.resize(800, 600);
  window.show();
  PaintWatch watch;
  window.PaintBox1->installEventFilter(&watch);
  window.InputTestClick();  // continuous: a run every 500 ms

  // The real event loop, as the program runs it; a timer looks at the count.
  QElapsedTimer t;
  t.start();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    std::lock_guard<std::mutex> g(g_m);
    if (static_cast<int>(g_stepRan.size()) >= runs || t.elapsed() > runs * 2000LL + 10000) app.quit();
  });
  poll.start(100);
  app.exec();
  window.LockTestClick();
  stop = true;
  instrument.join();

  std::vector<double> us;
  {
    std::lock_guard<std::mutex> g(g_m);
    const std::size_t n = std::min(g_blockDone.size(), g_stepRan.size());
    for (std::size_t i = 0; i < n; ++i)
      us.push_back(std::chrono::duration<double, std::micro>(g_stepRan[i] - g_blockDone[i]).count());
  }
  std::vector<double> page;
  {
    std::lock_guard<std::mutex> g(g_m);
    const std::size_t n = std::min(g_lastDone.size(), g_painted.size());
    for (std::size_t i = 0; i < n; ++i)
      page.push_back(std::chrono::duration<double, std::micro>(g_painted[i] - g_lastDone[i]).count());
  }
  if (us.empty() || page.empty()) {
    std::printf("nothing was measured\n");
    return 1;
  }
  const auto report = [](const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const auto pct = [&](double p) { return v[std::min(v.size() - 1, static_cast<std::size_t>(p * v.size()))]; };
    std::printf("%s over %zu runs: median %.0f us, p90 %.0f us, p99 %.0f us, max %.0f us\n", what, v.size(),
                pct(0.5), pct(0.9), pct(0.99), v.back());
  };
  report("block-to-step latency (first block)", us);
  report("last block to painted input page (900x600 window)", page);
  window.close();
  close(master);
  close(slave);
  fs::current_path("/");
  fs::remove_all(dir);
  return 0;
}
