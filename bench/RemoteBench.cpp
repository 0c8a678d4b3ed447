// The window as a SCPI instrument, on Qt's offscreen platform against the
// instant simulator: a controller on its own thread (plain sockets) asks
// *IDN? one line at a time, floods 10 000 queries in one write, opens and
// drops 1 000 connections, and runs input tests with INIT:INP;*OPC?. Beside
// each, the window thread's longest gap between two ticks of a 5 ms timer:
// how long the window could not paint. Prints table rows, not a verdict.
#include <QAction>
#include <QApplication>
#include <QSettings>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "platform/Clock.h"
#include "remote/RemoteServer.h"
#include "shell/LineFeatures.h"
#include "shell/RemoteControl.h"
#include "shell/ScriptedDialogs.h"
#include "sim/SimProcess.h"
#include "station/FontSetup.h"

namespace {

using namespace kt::bench;

// A blocking client on the loopback.
class Client {
 public:
  explicit Client(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ok_ = fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    const int one = 1;
    if (ok_) setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  ~Client() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return ok_; }
  bool Send(const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t n = write(fd_, bytes.data() + at, bytes.size() - at);
      if (n <= 0) return false;
      at += static_cast<std::size_t>(n);
    }
    return true;
  }
  // The next `lines` answer lines; empty when the connection ends first.
  std::vector<std::string> Read(std::size_t lines) {
    std::vector<std::string> out;
    while (out.size() < lines) {
      const auto end = buffer_.find('\n');
      if (end != std::string::npos) {
        out.push_back(buffer_.substr(0, end));
        buffer_.erase(0, end + 1);
        continue;
      }
      char chunk[65536];
      const ssize_t n = read(fd_, chunk, sizeof chunk);
      if (n <= 0) return {};
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
    return out;
  }

 private:
  int fd_ = -1;
  bool ok_ = false;
  std::string buffer_;
};

// The window thread's longest gap between two ticks, from Reset on.
class Stall : public QObject {
 public:
  Stall() {
    connect(&timer_, &QTimer::timeout, this, [this] {
      const auto now = Clock::now();
      worst_ = std::max(worst_, Ms(last_, now));
      last_ = now;
    });
    timer_.start(5);
  }
  void Reset() { last_ = Clock::now(), worst_ = 0; }
  double WorstMs() const { return worst_; }

 private:
  QTimer timer_;
  Clock::time_point last_ = Clock::now();
  double worst_ = 0;
};

// Runs `work` on a thread of its own while the window's event loop goes on.
template <typename Work>
void Beside(Work work) {
  std::atomic<bool> done{false};
  std::thread t([&] {
    work();
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  t.join();
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int runs = 20;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--quick") runs = 5;
  WorkFolder folder;
  setenv("XDG_CONFIG_HOME", folder.File("config").c_str(), 1);
  setenv("XDG_DATA_HOME", folder.File("data").c_str(), 1);
  setenv("KT6100_PROFILES", folder.File("profiles").c_str(), 1);
  kt::sim::SimProcess sim(KT6100_SIM_PATH);
  if (sim.Start({"--link", folder.File("COM2"), "--exit-with-parent", "--seed", "5"}) != 0) {
    std::fprintf(stderr, "%s\n", sim.Error().c_str());
    return 1;
  }
  QApplication app(argc, argv);
  kt::SetApplicationIdentity();
  kt::InstallFontSubstitutions();
  QSettings().setValue("remote/listen", "127.0.0.1:0");
  kt::ScriptedDialogs dialogs;
  TimedPort port;
  kt::SystemClock clock;
  BenchForm w({dialogs, port, clock});
  w.resize(1920, 1080);
  w.show();
  Idle(300);
  w.findChild<QAction*>("RemoteControl")->trigger();
  kt::RemoteServer* server = w.Line().Remote()->Server();
  if (!server) {
    std::fprintf(stderr, "remote control did not start\n");
    return 1;
  }
  const int tcp = server->Port();
  Stall stall;
  const std::string s = "Remote control (window, offscreen, 1920x1080)";

  std::vector<double> trips;
  double floodMs = 0, connectMs = 0;
  std::size_t floodAnswers = 0;
  std::vector<double> runMs;
  bool ok = true;
  const auto phase = [&](const char* what, auto work) {
    stall.Reset();
    Beside(work);
    Row(s, Format("longest window stall during %s", what), Format("%.1f ms", stall.WorstMs()), "< 50 ms");
    return stall.WorstMs();
  };

  Client controller(tcp);
  if (!controller.Ok()) return 1;
  phase("1 000 *IDN? round trips", [&] {
    for (int i = 0; i < 1000 && ok; ++i) {
      const auto t0 = Clock::now();
      ok = controller.Send("*IDN?\n") && controller.Read(1).size() == 1;
      trips.push_back(Ms(t0, Clock::now()));
    }
  });
  Row(s, "*IDN? round trip (median / 99th percentile of 1 000)",
      Format("%.2f / %.2f ms", Median(trips), Percentile(trips, 0.99)));
  const double floodStall = phase("a flood of 10 000 queries in one write", [&] {
    std::string flood;
    for (int i = 0; i < 10000; ++i) flood += "*IDN?\n";
    const auto t0 = Clock::now();
    std::thread reader([&] { floodAnswers = controller.Read(10000).size(); });
    ok = controller.Send(flood) && ok;
    reader.join();
    floodMs = Ms(t0, Clock::now());
  });
  Row(s, Format("10 000 queries in one write, all %zu answers read", floodAnswers), Format("%.0f ms", floodMs));
  const double connectStall = phase("1 000 connections opened and dropped", [&] {
    const auto t0 = Clock::now();
    for (int i = 0; i < 1000; ++i) Client dropped(tcp);
    connectMs = Ms(t0, Clock::now());
  });
  Row(s, "1 000 connections opened and dropped", Format("%.0f ms", connectMs));
  phase(Format("%d input runs", runs).c_str(), [&] {
    for (int i = 0; i < runs && ok; ++i) {
      const auto t0 = Clock::now();
      const std::vector<std::string> a = (controller.Send("INIT:INP;*OPC?\n"), controller.Read(1));
      ok = a.size() == 1 && a[0] == "1";
      runMs.push_back(Ms(t0, Clock::now()));
    }
  });
  Row(s, Format("INIT:INP;*OPC? to its answer, instant simulator (median of %d)", runs),
      Format("%.0f ms (max %.0f ms)", Median(runMs), Max(runMs)));
  Aim("window stall under a flood of 10 000 SCPI queries", Format("%.1f ms", floodStall), "< 50 ms");
  Aim("window stall while 1 000 SCPI connections come and go", Format("%.1f ms", connectStall), "< 50 ms");
  if (!ok) std::fprintf(stderr, "a remote answer was missing or wrong\n");
  return ok ? 0 : 1;
}
