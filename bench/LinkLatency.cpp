// How long after the last byte of a block reaches the port does its step
// read it? The benchmark plays the instrument itself on a pseudo-terminal,
// with the simulator's own protocol and blocks, and runs every kind in the
// real main window on Qt's offscreen platform; the port under the window
// records when each step reads. Each reply goes out in one write(); the time
// taken just before that call is the block's arrival (the bytes can be read
// as soon as the call has copied them, and the writing thread may be
// preempted before the call returns, so the time after it is no reference).
//
// Paced: each block is sent a fixed time (default 20 ms) after the byte that
// asked for it. A real line never delivers one sooner (the 40-byte values
// block alone is 21 ms on the wire), so the window has painted the previous
// step's page before the block comes. Unpaced: each block is sent the
// instant it is asked for; it arrives while the window thread is still busy
// with the previous step's repaint, and the figure includes that paint.
//
// KT_BENCH_TRACE=file writes a timeline of every port call, message and
// paint, by thread (t2 is the instrument).
// Prints table rows (see BenchSupport.h), not a verdict.
#include <QApplication>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "platform/Clock.h"
#include "platform/TermiosPort.h"
#include "shell/ScriptedDialogs.h"
#include "sim/Instrument.h"
#include "sim/Responder.h"
#include "station/FontSetup.h"

namespace {

using namespace kt::bench;

const kt::TestKind AllKinds[] = {kt::InputTest, kt::OutputTest, kt::CompTest, kt::StartTest,
                                 kt::PhaseTest, kt::BaoTest,    kt::GaoTest};

// The instrument: the simulator's responder on the master side of the
// pseudo-terminal.
class Instrument {
 public:
  explicit Instrument(int master) : master_(master), thread_([this] { Serve(); }) {}
  ~Instrument() {
    stop_ = true;
    thread_.join();
  }
  void Pace(int ms) { paceMs_ = ms; }
  std::vector<Transfer> Sent() {
    std::lock_guard<std::mutex> g(m_);
    return sent_;
  }

 private:
  void Serve() {
    kt::sim::Instrument instrument(7);
    kt::sim::Responder responder(instrument);
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      std::uint8_t buf[64];
      const ssize_t n = read(master_, buf, sizeof buf);
      const auto asked = Clock::now();
      for (ssize_t i = 0; i < n; ++i) {
        Trace("instrument-got", buf[i]);
        const auto reply = responder.OnByte(buf[i]);
        if (!reply) continue;
        const bool block = reply->BlockNumber > 0;
        const int pace = paceMs_;
        if (block && pace > 0) std::this_thread::sleep_until(asked + std::chrono::milliseconds(pace));
        const auto at = Clock::now();
        Trace("instrument-sends", static_cast<long>(reply->Bytes.size()));
        WriteAll(reply->Bytes.data(), reply->Bytes.size());
        std::lock_guard<std::mutex> g(m_);
        sent_.push_back({at, static_cast<unsigned>(reply->Bytes.size()), block});
      }
    }
  }
  void WriteAll(const std::uint8_t* data, std::size_t size) {
    std::size_t off = 0;
    while (off < size && !stop_) {
      const ssize_t n = write(master_, data + off, size - off);
      if (n > 0) {
        off += static_cast<std::size_t>(n);
      } else {
        pollfd p{master_, POLLOUT, 0};
        poll(&p, 1, 10);
      }
    }
  }

  int master_;
  std::atomic<bool> stop_{false};
  std::atomic<int> paceMs_{0};
  std::mutex m_;
  std::vector<Transfer> sent_;
  std::thread thread_;
};

// ---- measuring ----

struct Phase {
  double cpuWaitMs = 0;             // threads ready to run without a free core
  std::vector<double> blockMs;      // block in the port -> its step reads it
  std::vector<double> handshakeMs;  // handshake answer -> read
  std::vector<double> pageMs;       // last block -> page painted (kinds 1..5)
  int runs = 0, failed = 0, unmatched = 0;
};

// `rounds` rounds of one run of every kind, the instrument pacing its blocks
// `paceMs` after each request (0: at once).
Phase Measure(BenchForm& w, PaintWatch& paint, TimedPort& port, Instrument& instrument, int paceMs, int rounds) {
  instrument.Pace(paceMs);
  const std::size_t sent0 = instrument.Sent().size(), read0 = port.reads.size();
  Phase ph;
  const double wait0 = CpuWaitMs();
  for (int r = 0; r < rounds; ++r) {
    for (kt::TestKind kind : AllKinds) {
      const RunTimes t = TimeRun(w, paint, kind, 20000);
      ++ph.runs;
      if (!t.ok) {
        ++ph.failed;
        Idle(300);
        continue;
      }
      if (kind <= kt::PhaseTest) {
        const auto painted = t.start + std::chrono::microseconds(static_cast<long long>(t.toPaintMs * 1000));
        ph.pageMs.push_back(Ms(instrument.Sent().back().at, painted));
      }
      Idle(20);  // the page of the run's end is painted before the next command
    }
  }
  ph.cpuWaitMs = CpuWaitMs() - wait0;
  // The exchange is strictly question and answer: the i-th reply sent is
  // the i-th read.
  const std::vector<Transfer> sent = instrument.Sent();
  const std::size_t n = std::min(sent.size() - sent0, port.reads.size() - read0);
  ph.unmatched = static_cast<int>(std::max(sent.size() - sent0, port.reads.size() - read0) - n);
  for (std::size_t i = 0; i < n; ++i) {
    const Transfer& s = sent[sent0 + i];
    const Transfer& r = port.reads[read0 + i];
    if (s.bytes != r.bytes) {
      ++ph.unmatched;
      continue;
    }
    (s.block ? ph.blockMs : ph.handshakeMs).push_back(Ms(s.at, r.at));
  }
  return ph;
}

std::string Spread(const std::vector<double>& v) {
  return Format("median %.2f ms, p99 %.2f ms, max %.2f ms", Median(v), Percentile(v, 0.99), Max(v));
}

std::string Blocks(const Phase& p) {
  std::string s = Format("%zu blocks of %d runs, all 7 kinds", p.blockMs.size(), p.runs);
  if (p.failed || p.unmatched) s += Format(" [%d runs failed, %d reads unmatched]", p.failed, p.unmatched);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 20, paceMs = 20;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick")
      rounds = 5;
    else if (a == "--rounds" && i + 1 < argc)
      rounds = std::max(1, std::atoi(argv[++i]));
    else if (a == "--pace-ms" && i + 1 < argc)
      paceMs = std::max(1, std::atoi(argv[++i]));
    else {
      std::printf("usage: link_latency_bench [--quick] [--rounds N] [--pace-ms MS]\n");
      return a == "--help" ? 0 : 2;
    }
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  WorkFolder folder;

  int master = -1, slave = -1;
  char name[256];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  // Raw, as the simulator keeps its line: no echo of the blocks, no
  // translation, whatever the program does later.
  termios tio{};
  tcgetattr(slave, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave, TCSANOW, &tio);
  std::filesystem::create_symlink(name, folder.File("COM2"));

  QApplication app(argc, argv);
  kt::InstallFontSubstitutions();
  const char* traceFile = StartTracing();
  Instrument instrument(master);
  kt::ScriptedDialogs dialogs;
  dialogs.echoMessages = true;
  TimedPort port;
  kt::SystemClock clock;
  {
    BenchForm w({dialogs, port, clock});
    w.resize(1920, 1080);  // maximised on a full-HD screen
    w.show();
    PaintWatch paint(*w.PaintBox1);
    Idle(300);
    const std::string box = Format("%dx%d", w.PaintBox1->width(), w.PaintBox1->height());

    const Phase paced = Measure(w, paint, port, instrument, paceMs, rounds);
    const Phase unpaced = Measure(w, paint, port, instrument, 0, rounds);

    const std::string s = "Link latency: last byte of a block in the port -> its step reads it";
    Row(s, Format("paced, each block %d ms after its request (%s): median", paceMs, Blocks(paced).c_str()),
        Format("%.3f ms", Median(paced.blockMs)));
    Row(s, "paced: 99th percentile", Format("%.3f ms (max %.3f)", Percentile(paced.blockMs, 0.99), Max(paced.blockMs)),
        "< 2 ms");
    Row(s, Format("unpaced, each block the instant it is asked for (%s)", Blocks(unpaced).c_str()),
        Spread(unpaced.blockMs), "see note");
    Row(s, "paced: handshake answer -> read by the waiting handshake", Spread(paced.handshakeMs));
    Row(s, "paced / unpaced: time ready to run but without a free core (0 on an idle machine)",
        Format("%.0f / %.0f ms", paced.cpuWaitMs, unpaced.cpuWaitMs));
    Row(s, Format("paced: last block -> page repainted (kinds 1-5, decoding included, page %s)", box.c_str()),
        Spread(paced.pageMs));
    Note(
        Format("unpaced link latency: each block is sent the moment its step asks for it, so it may reach the port "
               "while the window thread copies the page (%s) or repaints the status bar; its step waits for that. "
               "On the line a block takes at least its wire time (21 ms for the 40-byte values block).",
               box.c_str()));
    w.close();
  }
  if (traceFile) WriteTrace(traceFile);
  close(master);
  close(slave);
  return 0;
}
