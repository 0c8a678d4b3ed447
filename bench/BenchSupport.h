#pragma once
// What the benchmark programs share: figures (medians, percentiles) and the
// rows run-benchmarks.sh gathers into its table, a work folder, a port that
// notes when each step reads (and an optional timeline of the window and
// poller threads), and a main window that reports the end of every run and
// the paint that follows it, driven from inside Qt's own event loop so that
// the harness never holds up the window thread while a run is under way.
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/AnalysisData.h"
#include "core/TestKind.h"
#include "link/TestRun.h"
#include "platform/SerialPort.h"
#include "platform/TermiosPort.h"
#include "shell/TKT5100Form.h"

namespace kt::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Nearest-rank percentile (p in 0..1) of an unsorted sample; NAN when empty.
inline double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const double rank = std::ceil(p * static_cast<double>(v.size()));
  const std::size_t i = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
  return v[std::min(i, v.size() - 1)];
}
inline double Median(const std::vector<double>& v) { return Percentile(v, 0.5); }
inline double Max(const std::vector<double>& v) { return v.empty() ? NAN : *std::max_element(v.begin(), v.end()); }

inline std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string Format(const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

// One line of the table: the section it belongs to, what was measured, the
// figure, and the figure aimed at ("-" when there is none). Tab separated;
// run-benchmarks.sh lays them out.
inline void Row(const std::string& section, const std::string& measure, const std::string& figure,
                const std::string& target = "-") {
  std::printf("ROW\t%s\t%s\t%s\t%s\n", section.c_str(), measure.c_str(), figure.c_str(), target.c_str());
  std::fflush(stdout);
}
// A figure with an aim, for the summary that ends the benchmarks' output.
inline void Aim(const std::string& figure, const std::string& now, const std::string& aim) {
  std::printf("AIM\t%s\t%s\t%s\n", figure.c_str(), now.c_str(), aim.c_str());
  std::fflush(stdout);
}
// A remark printed under the table.
inline void Note(const std::string& text) {
  std::printf("NOTE\t%s\n", text.c_str());
  std::fflush(stdout);
}

inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Time the threads of a process have spent ready to run but waiting for a
// free core (the second field of each thread's schedstat), in ms: how much a
// busy machine held the measurement up. 0 pid: this process.
inline double CpuWaitMs(int pid = 0) {
  const std::filesystem::path tasks =
      std::filesystem::path("/proc") / (pid ? std::to_string(pid) : std::string("self")) / "task";
  double ns = 0;
  std::error_code ec;
  for (const auto& t : std::filesystem::directory_iterator(tasks, ec)) {
    FILE* f = std::fopen((t.path() / "schedstat").c_str(), "r");
    if (!f) continue;
    unsigned long long run = 0, wait = 0;
    if (std::fscanf(f, "%llu %llu", &run, &wait) == 2) ns += static_cast<double>(wait);
    std::fclose(f);
  }
  return ns / 1e6;
}

inline const char* KindName(TestKind kind) {
  static const char* const names[KindCount] = {"none",  "input", "output",   "comprehensive",
                                               "start", "phase", "hf waves", "envelope"};
  return kind >= 0 && kind < KindCount ? names[kind] : "?";
}

// Bytes the instrument sends in one run of `run`: the handshake answer and
// every block of the exchange.
inline unsigned WireBytes(const RunSpec& run) {
  unsigned n = 1;
  for (const BlockSpec& b : run.Blocks) n += b.Bytes;
  return n;
}
inline constexpr double LineBytesPerSecond = 1920;  // 19200 baud, 10 bits a byte

class WorkFolder {
 public:
  WorkFolder() {
    char tmpl[] = "/tmp/kt-bench-XXXXXX";
    path_ = mkdtemp(tmpl);
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~WorkFolder() {
    std::filesystem::current_path(old_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_, old_;
};

// ---- KT_BENCH_TRACE=file: a timeline of every port call, message and
// paint, by thread, for finding where a slow block spent its time ----

struct Event {
  Clock::time_point at;
  int thread;
  const char* what;
  long value;
};
inline std::atomic<bool> g_tracing{false};
inline std::mutex g_traceLock;
inline std::vector<Event> g_trace;
inline std::vector<std::thread::id> g_threads;

inline void Trace(const char* what, long value = 0) {
  if (!g_tracing) return;
  const auto at = Clock::now();
  const auto id = std::this_thread::get_id();
  std::lock_guard<std::mutex> g(g_traceLock);
  const auto t = std::find(g_threads.begin(), g_threads.end(), id);
  const int thread = static_cast<int>(t - g_threads.begin());
  if (t == g_threads.end()) g_threads.push_back(id);
  g_trace.push_back({at, thread, what, value});
}

inline void WriteTrace(const char* file) {
  FILE* f = std::fopen(file, "w");
  if (!f) return;
  std::lock_guard<std::mutex> g(g_traceLock);
  std::fprintf(f, "# ms, thread (numbered as first seen: t0 the window thread, t1 the poller), event, value\n");
  for (const Event& e : g_trace)
    std::fprintf(f, "%11.3f t%d %s %ld\n", Ms(g_trace.front().at, e.at), e.thread, e.what, e.value);
  std::fclose(f);
}

class EventTrace : public QObject {
 public:
  // "paint:" and the widget's name or class, kept for the timeline.
  static const char* Name(QObject* o) {
    static std::mutex m;
    static std::vector<std::unique_ptr<std::string>> names;
    const std::string n = "paint:" + (o->objectName().isEmpty() ? std::string(o->metaObject()->className())
                                                                : o->objectName().toStdString());
    std::lock_guard<std::mutex> g(m);
    for (const auto& k : names)
      if (*k == n) return k->c_str();
    names.push_back(std::make_unique<std::string>(n));
    return names.back()->c_str();
  }
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint) Trace(Name(o));
    if (e->type() == QEvent::UpdateRequest) Trace("update-request");
    if (e->type() == QEvent::MetaCall) Trace("queued-call");
    if (e->type() == WM_COMMDATA) Trace("step-message", static_cast<TKT5100Form*>(o)->form().CommStep);
    return false;
  }
};

// Starts the timeline when KT_BENCH_TRACE names a file; call on the window
// thread before the main window is made. Returns the file, or nullptr.
inline const char* StartTracing() {
  const char* file = std::getenv("KT_BENCH_TRACE");
  if (!file) return nullptr;
  static EventTrace events;
  g_tracing = true;
  Trace("start");
  qApp->installEventFilter(&events);
  return file;
}

struct Transfer {
  Clock::time_point at;
  unsigned bytes = 0;  // for a written byte: its value
  bool block = false;  // false: the handshake answer
};

// The program's port, noting when each step reads what it waited for, when
// each byte went out, and when a wait on the port ended because bytes came.
class TimedPort final : public SerialPort {
 public:
  std::vector<Transfer> reads;   // window thread only
  std::vector<Transfer> writes;  // window thread only

  std::vector<Clock::time_point> Arrivals() {
    std::lock_guard<std::mutex> g(m_);
    return arrivals_;
  }

  int Open(const std::string& device) override { return port_.Open(device); }
  void Close() override { port_.Close(); }
  bool IsOpen() const override { return port_.IsOpen(); }
  int WriteByte(std::uint8_t byte) override {
    Trace("write-byte", byte);
    writes.push_back({Clock::now(), byte, false});
    return port_.WriteByte(byte);
  }
  unsigned Read(std::uint8_t* buf, unsigned n) override {
    const auto at = Clock::now();
    const unsigned got = port_.Read(buf, n);
    reads.push_back({at, got, false});
    Trace("read", got);
    return got;
  }
  unsigned QueuedCount() override {
    const unsigned n = port_.QueuedCount();
    Trace("queued", n);
    return n;
  }
  void PurgeReceive() override { port_.PurgeReceive(); }
  bool WaitForInput(int timeoutMs) override {
    Trace("wait", timeoutMs);
    const bool input = port_.WaitForInput(timeoutMs);
    Trace("woken", input);
    if (input) {
      const auto at = Clock::now();
      std::lock_guard<std::mutex> g(m_);
      arrivals_.push_back(at);
    }
    return input;
  }
  void Wake() override { port_.Wake(); }
  void WakeAtCount(unsigned count) override { port_.WakeAtCount(count); }

 private:
  TermiosPort port_;
  std::mutex m_;
  std::vector<Clock::time_point> arrivals_;  // both the poller and the handshake wait
};

// Runs Qt's event loop for `ms`, as the program itself would sit in it.
inline void Idle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The main window, telling when a run has ended: after the whole message
// that ran its last step (decoding included) has been handled.
class BenchForm : public TKT5100Form {
 public:
  using TKT5100Form::TKT5100Form;

  std::function<void()> onRunEnd;
  int runEnds = 0;

  void SetProgress(int percent) override {
    if (percent == 100) ending_ = true;
    TKT5100Form::SetProgress(percent);
  }
  void SetAnalysisProgress(int percent) override {
    if (percent == 100) ending_ = true;
    TKT5100Form::SetAnalysisProgress(percent);
  }

 protected:
  bool event(QEvent* e) override {
    const bool step = e->type() == WM_COMMDATA;
    const bool handled = TKT5100Form::event(e);
    if (step && ending_ && form().CommStep == 0) {
      ending_ = false;
      ++runEnds;
      if (onRunEnd) onRunEnd();
    }
    return handled;
  }

 private:
  bool ending_ = false;
};

// Times the next paint of a widget once armed: the paint itself is run
// inside the filter, so the time taken is when the page is finished.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget& widget) : widget_(widget) { widget_.installEventFilter(this); }
  ~PaintWatch() override { widget_.removeEventFilter(this); }
  void Arm(std::function<void()> painted) { painted_ = std::move(painted); }
  void Disarm() { painted_ = nullptr; }

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched != &widget_ || e->type() != QEvent::Paint || !painted_) return false;
    widget_.removeEventFilter(this);
    QCoreApplication::sendEvent(&widget_, e);
    widget_.installEventFilter(this);
    auto done = std::move(painted_);
    painted_ = nullptr;
    done();
    return true;
  }

 private:
  QWidget& widget_;
  std::function<void()> painted_;
};

// Gives the command of one single run of `kind`, as the operator would:
// the single-test buttons, the start command (locked at once, so it runs
// once), and for the analysis window's two tests what its commands do.
inline void IssueRun(BenchForm& w, TestKind kind) {
  Form& f = w.form();
  switch (kind) {
    case InputTest:
      w.InputTestLockBtnClick();
      break;
    case OutputTest:
      w.OutputTestLockBtnClick();
      break;
    case CompTest:
      w.CompTestLockBtnClick();
      break;
    case PhaseTest:
      w.PhaseTestLockBtnClick();
      break;
    case StartTest:
      w.StartTestComdClick();
      f.TestLocked = 1;
      break;
    case GaoTest:
      // The envelope point a click in the middle of a panel chooses.
      if (f.Analysis) f.Analysis->SelectX = 150;
      [[fallthrough]];
    case BaoTest:
      f.SelectedKind = kind;
      f.StartRequested = 1;
      w.PostCommData();
      break;
    default:
      break;
  }
}

struct RunTimes {
  bool ok = false;
  Clock::time_point start;  // the command
  double toEndMs = NAN;     // command to the end of the last step
  double toPaintMs = NAN;   // command to the page painted after it (kinds 1..5)
};

// One run of `kind` from its command to its end and, for the main window's
// kinds, to the page painted after it.
inline RunTimes TimeRun(BenchForm& w, PaintWatch& paint, TestKind kind, int timeoutMs) {
  RunTimes t;
  QEventLoop loop;
  const bool page = kind >= InputTest && kind <= PhaseTest;
  const Clock::time_point t0 = Clock::now();
  t.start = t0;
  bool finished = false;
  w.onRunEnd = [&] {
    t.toEndMs = Ms(t0, Clock::now());
    Trace("run-end", kind);
    if (!page) {
      finished = true;
      loop.quit();
      return;
    }
    paint.Arm([&] {
      t.toPaintMs = Ms(t0, Clock::now());
      Trace("page-painted", kind);
      finished = true;
      loop.quit();
    });
  };
  QTimer timeout;
  timeout.setSingleShot(true);
  QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
  timeout.start(timeoutMs);
  Trace("command", kind);
  IssueRun(w, kind);
  if (!finished) loop.exec();
  w.onRunEnd = nullptr;
  paint.Disarm();
  t.ok = finished;
  return t;
}

}  // namespace kt::bench
