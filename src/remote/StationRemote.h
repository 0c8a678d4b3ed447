#pragma once
// What remote commands do to a station, the same for the window and for
// `kt6100-cli serve`: the test information, the limits, the runs they start
// (a kind's legs one after the other: the analysis takes its envelope
// first) and what FETCh answers of them. The owner judges and logs each run
// as it always does; this only reads what was kept.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Host.h"
#include "remote/RemoteSession.h"
#include "runlog/LoggedRun.h"

namespace kt {

struct Form;
class RunRecorder;

// The folder a remote controller's MMEMory:STORe and HCOPy:FILE write into,
// and the file a name given there stands for: a relative name without "..",
// given the extension when it has none (a record cannot replace a script or
// a setting). 0, or 1 with the reason.
int RemoteFile(const std::string& folder, const std::string& name, const char* extension, std::string& path,
               std::string& error);

class StationRemote : public RemoteStation {
 public:
  // `folder`: where stored records and printed reports go.
  StationRemote(Form& form, RunRecorder& recorder, std::string folder);

  std::string Identity() const override;
  bool Busy() const override;
  int StartRun(TestKind kind, std::string& error) override;
  void Abort() override;
  void Reset() override;
  int SetLimits(const std::string& name, std::string& error) override;
  std::string Limits() const override;
  int SetInfo(const std::string& field, const std::string& value, std::string& error) override;
  int Info(const std::string& field, std::string& value) const override;
  std::string Verdict() const override;
  int Scalar(const std::string& figure, double& value, bool& measured) const override;
  int Array(const std::string& figure, std::vector<double>& values) const override;
  int RunJson(std::string& json) const override;
  int Store(const std::string& name, std::string& error) override;
  int Print(const std::string& name, std::string& error) override;
  void Note(const std::string& peer, const std::string& what) override;

  // The station's run of `kind` ended, judged and logged by its owner. The
  // next leg starts; true when what a remote command started has ended
  // (the server's waiting sessions go on then).
  bool RunEnded(int kind, RunOutcome outcome);

 protected:
  // A run is under way (or asked for) in the station itself.
  virtual bool RunUnderWay() const;
  // What the station may not test now (an overdue calibration); "" when it may.
  virtual std::string Refusal() const;
  // Starts one leg; the owner reports its end through RunEnded.
  virtual void StartLeg(TestKind kind);
  // A leg of a scan ended with `judged`; a scan's owner ranks it.
  virtual void LegJudged(const kt::Verdict&) {}
  // The legs ran out, or one did not complete (`cutShort`).
  virtual void Finished(bool cutShort);
  // Starts `legs` as one operation whose results FETCh answers.
  void StartLegs(std::vector<TestKind> legs);
  // An operation whose runs the owner starts and ends itself (the window's
  // scan): what FETCh answered before is gone from here on.
  void BeginOperation();
  void EndOperation() { active_ = false; }
  // An operation started remotely has not ended (nor been aborted).
  bool Active() const { return active_; }
  // What the last operation ended with instead of its last run's verdict:
  // a sequence's worst, or INCOMPLETE with the reason.
  void SetOverall(kt::Verdict v) { overall_ = std::move(v); }
  bool Chinese() const;

  Form& form_;
  RunRecorder& recorder_;
  std::string folder_;

 private:
  std::deque<TestKind> legs_;
  bool active_ = false;   // an operation started remotely has not ended
  bool ownLegs_ = false;  // its legs are started from here
  std::optional<LoggedRun> last_;
  std::optional<kt::Verdict> overall_;
};

}  // namespace kt
