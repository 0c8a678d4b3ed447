#include "cli/CliServe.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <cstdio>

#include "cli/CliRun.h"
#include "link/InputThread.h"
#include "link/TestRun.h"
#include "remote/RemoteServer.h"
#include "remote/StationRemote.h"
#include "runlog/RunLogQuery.h"
#include "station/RunRecorder.h"
#include "station/Scan.h"
#include "station/StationSettings.h"

namespace kt {

namespace {

// Runs `fn` on the main thread, after what runs there now.
void Later(std::function<void()> fn) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

class CliStation final : public StationRemote {
 public:
  CliStation(HeadlessTester& tester, RunRecorder& recorder, std::string folder)
      : StationRemote(tester.form(), recorder, std::move(folder)), tester_(tester) {
    HeadlessHost& host = tester.host();
    host.onPost = [this] { Later([this] { tester_.Step(); }); };
    // The run's end is taken after the step that ended it has returned.
    host.onEnded = [this](int kind, RunOutcome how) { Later([this, kind, how] { Ended(kind, how); }); };
  }
  void SetServer(RemoteServer* server) { server_ = server; }

  int StartScan(const std::string& text, std::string& error) override {
    if (Busy()) return error = "a run is under way", 1;
    const bool chinese = Chinese();
    ScanCode code;
    ProfileMessage bad;
    if (ParseScan(text, settings::ScanSeparator(), code, bad) != 0) return error = bad.Text(chinese), 1;
    // A refused scan leaves the test information as it was.
    const TestInfo before = form_.Info;
    form_.Info.No = code.Serial;
    if (!code.Type.empty()) form_.Info.Type = code.Type;
    std::int64_t lastPass = 0, goldenPass = 0;
    LoggedPasses(recorder_, code.Serial, lastPass, goldenPass);
    if (const ProfileMessage blocked = BlockedBecause(recorder_.Gate(goldenPass)); !blocked.English.empty()) {
      form_.Info = before;
      return error = blocked.Text(chinese), 1;
    }
    // A controller cannot be asked "retest?": it is a retest, and said so.
    if (lastPass > 0 && !recorder_.GoldenUnitOfRun())
      std::fprintf(stderr, "serial %s passed today: this run is a retest\n", code.Serial.c_str());
    const ActiveLimits limits = recorder_.LimitsFor(form_.Info.Type);
    verdicts_.clear();
    scanning_ = true;
    StartLegs(ScanSteps(limits.File ? limits.File->Sequence : std::vector<TestKind>{}, InputTest));
    return 0;
  }

 protected:
  void StartLeg(TestKind kind) override {
    tester_.Begin();
    StationRemote::StartLeg(kind);
  }
  void LegJudged(const kt::Verdict& v) override { verdicts_.push_back(v); }
  void Finished(bool cutShort) override {
    const bool scan = scanning_;
    scanning_ = false;
    if (!scan || cutShort || verdicts_.empty()) return;
    // The scan's verdict is its worst run's; a golden unit's check passes
    // only when its runs measured every figure it lists.
    kt::Verdict worst = WorstVerdict(verdicts_);
    if (const GoldenUnit* golden = recorder_.GoldenUnitOfRun()) {
      worst = GoldenSequenceVerdict(*golden, verdicts_);
      if (worst.Result == VerdictResult::Pass) {
        recorder_.NoteGoldenPass(worst.ProfileName, QDateTime::currentMSecsSinceEpoch());
        recorder_.Audit(form_.Info.Operator, GoldenPassedWhat, "", worst.ProfileName);
      }
    }
    SetOverall(worst);
  }

 private:
  void Ended(int kind, RunOutcome how) {
    if (how == RunOutcome::Completed) {
      recorder_.LogRun(static_cast<TestKind>(kind),
                       recorder_.Judging() ? recorder_.Judge(static_cast<TestKind>(kind)) : kt::Verdict{},
                       Chinese() ? 0 : 1);
    } else {
      recorder_.LogEvent(static_cast<TestKind>(kind), how);
      if (how != RunOutcome::Abandoned)
        std::fprintf(stderr, "kt6100-cli: %s\n", tester_.FailureText(static_cast<TestKind>(kind), how).c_str());
    }
    RunEnded(kind, how);
    // Sessions waiting on the run look again; one still under way keeps them.
    if (server_) server_->RunEnded();
  }

  HeadlessTester& tester_;
  RemoteServer* server_ = nullptr;
  std::vector<kt::Verdict> verdicts_;
  bool scanning_ = false;
};

}  // namespace

int Serve(HeadlessTester& tester, RunRecorder& recorder, const ServeOptions& options) {
  CliStation station(tester, recorder, options.Folder);
  RemoteServer server(station, [&recorder](const std::string& peer, const std::string& what) {
    recorder.Audit(peer, "remote: " + what);
  });
  station.SetServer(&server);
  QString error;
  if (server.Listen(options.Address, options.Port, options.Allowed, error) != 0) {
    std::fprintf(stderr, "kt6100-cli: %s\n", error.toLocal8Bit().constData());
    return 2;
  }
  // A script that asked for port 0 reads the port it got here.
  std::fprintf(stderr, "listening on %s:%u\n", options.Address.toString().toLocal8Bit().constData(), server.Port());
  std::fflush(stderr);
  Form& form = tester.form();
  // The window's poller: it sleeps on the port until bytes or a deadline
  // are due and has this thread run the check.
  InputThread poller(
      tester.port(), [&form] { return PollerCheck(form); }, Later);
  // The signal handler only counts: the loop looks twice a second.
  QTimer stop;
  QObject::connect(&stop, &QTimer::timeout, [&] {
    if (StopCount == 0) return;
    stop.stop();
    if (form.RunKind != NoTest) AbandonRun(form, "");
    QCoreApplication::quit();
  });
  stop.start(500);
  QCoreApplication::exec();
  poller.Stop();
  // The abandoned run's event, queued behind the quit.
  QCoreApplication::processEvents();
  return 0;
}

}  // namespace kt
