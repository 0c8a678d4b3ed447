#pragma once
// What every run of the program leads to beyond its page, for the window and
// the command line alike: its verdict against the limits that apply, and its
// entry in the run log (or, for a run that failed, an event).
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Host.h"
#include "runlog/LoggedRun.h"
#include "runlog/RunLogConfig.h"
#include "runlog/RunLogWriter.h"
#include "station/Scan.h"
#include "verdict/Evaluate.h"

namespace kt {

struct Form;
// The program's version, as the log keeps it.
const char* ProgramVersion();

// Where the limit profiles live: KT6100_PROFILES, else the folder "profiles"
// beside the program's settings.
std::string ProfileFolder();

class RunRecorder {
 public:
  explicit RunRecorder(Form& form);
  ~RunRecorder();
  RunRecorder(const RunRecorder&) = delete;
  RunRecorder& operator=(const RunRecorder&) = delete;

  // Starts the log (a malformed setting is refused with a message; an
  // unreachable log is told later through the writer's Failed signal).
  // Without a started log, runs are judged but not kept.
  int StartLog(const RunLogConfig& config, QString& error);
  RunLogWriter* Writer() { return writer_.get(); }

  // Reads every *.json of the folder; the shipped examples are written into
  // it first when it does not exist yet. A profile that cannot be used is
  // left out with its message in `problems`, and so are two profiles that
  // claim one product type (neither is used for it). A profile that judged
  // before and whose file is now damaged or gone is kept as it was (its last
  // good copy), with a note that says so: limits never vanish in silence.
  void LoadProfiles(const std::string& folder, std::vector<std::string>& problems, bool chinese);
  const std::vector<Profile>& Profiles() const { return profiles_; }

  // The operator's choice: "" no limits, ClassCName the built-in screening,
  // else a loaded profile's name or the path of a profile file (loaded and
  // added; a bare name is never taken for a file). 1 with the reason when it
  // cannot be used; the previous choice stays then. KeepUnavailable: a choice
  // that cannot be resolved stays chosen anyway, and every run it would
  // judge is incomplete with the reason (the choice remembered from the last
  // session must not turn into "no limits" because its file broke).
  // Explicit: the choice wins over a profile of the run's product type.
  struct Choice {
    std::string NameOrFile;
    std::string File;  // the file it came from last time, when known: named in messages
    bool KeepUnavailable = false, Explicit = false;
  };
  int Choose(const Choice& choice, std::string& error, bool chinese);
  int Choose(const std::string& nameOrFile, std::string& error, bool chinese) {
    return Choose(Choice{nameOrFile, {}, false, false}, error, chinese);
  }
  const std::string& Chosen() const { return chosen_; }
  // The file the chosen profile came from ("" for none and the screening).
  const std::string& ChosenFile() const { return chosenFile_; }
  // A copy of the chosen profile's text kept from an earlier session, for
  // when its file cannot be read now: used (with a note) only when the
  // chosen profile is not loaded and the copy carries its name. 0 when taken.
  int KeepLastGoodCopy(const std::string& text);
  // The rated power the command line gives for the screening.
  void SetRatedPower(std::optional<double> watts) { ratedPowerW_ = watts; }

  // The limits a run with this product type is judged by: a profile of that
  // type, else the operator's choice; Unavailable when those cannot be used.
  ActiveLimits LimitsFor(const std::string& productType) const;
  // True when profiles are chosen by product type and this one matches none.
  bool TypeMatchesNone(const std::string& productType) const;
  // True when a run of the form's product type is judged at all.
  bool Judging() const;

  // The form's results of `kind` against the limits that apply; a golden
  // unit's (GoldenUnitOfRun) against its expected figures instead.
  Verdict Judge(TestKind kind) const;

  // The golden unit the form's serial is under the limits of its type;
  // nullptr for a unit of production.
  const GoldenUnit* GoldenUnitOfRun() const;
  // Golden checks passed by this program, by profile name (the log's audit
  // trail keeps them across sessions and stations).
  void NoteGoldenPass(const std::string& profile, std::int64_t timeMs);
  // What may stop the form's unit from being tested now; `loggedPassMs`:
  // the newest golden pass the log knows for the profile (0: none).
  ProductionGate Gate(std::int64_t loggedPassMs) const;
  // An engineer's override of a due golden check or an overdue
  // calibration, for the rest of this session.
  void OverrideGolden(bool on) { goldenOverride_ = on; }
  void OverrideCalibration(bool on) { calibrationOverride_ = on; }

  // A completed run into the log: its figures, `verdict`, the limits' file
  // and the bytes a store of it would write. `analysisLanguage` is the
  // analysis window's (kinds 6 and 7 store it). Returns the run's id ("" with
  // no log).
  std::string LogRun(TestKind kind, const Verdict& verdict, int analysisLanguage);
  // The same, waiting (at most timeoutMs) until the run is in the log or its
  // outbox: `run` is the run as kept (its id, its time) and the result says
  // where it went (Off with no log: `run` has its time and no id then).
  RunLogWriter::Kept LogRunAndWait(TestKind kind, const Verdict& verdict, int analysisLanguage, int timeoutMs,
                                   LoggedRun& run);
  // The last run LogRun or LogRunAndWait took, as kept (also with the log
  // off); nullopt before the first.
  const std::optional<LoggedRun>& LastRun() const { return last_; }
  void LogEvent(TestKind kind, RunOutcome outcome);
  // An entry of the audit trail: `who` did `what`, the value before and
  // after. Into the log; while it is off, appended to a local audit file
  // (LocalAuditFile) so that no change goes unrecorded.
  void Audit(const std::string& who, const std::string& what, const std::string& before = "",
             const std::string& after = "");

 private:
  // A profile file that could not be used; Type: the product type it
  // claims, when that could be read ("?" when it could not: it might be any).
  struct Problem {
    std::string File, Type;
    ProfileMessage Message;
  };

  const Profile* Find(const std::string& name) const;
  LoggedRun Describe(TestKind kind, const Verdict& verdict, int analysisLanguage) const;
  ActiveLimits WithNote(ActiveLimits limits) const;

  Form& form_;
  std::unique_ptr<RunLogWriter> writer_;
  std::vector<Profile> profiles_;
  std::vector<Problem> problems_;
  // Notes on profiles kept as their last good copy, by profile name.
  std::vector<std::pair<std::string, ProfileMessage>> notes_;
  std::string chosen_, chosenFile_;
  bool explicit_ = false;
  std::optional<double> ratedPowerW_;
  std::map<std::string, std::int64_t> goldenPasses_;
  bool goldenOverride_ = false, calibrationOverride_ = false;
  std::optional<LoggedRun> last_;
};

// The audit trail kept while the run log is off: one JSON object a line.
std::string LocalAuditFile();

// The limits a profile's name or file (or the built-in screening's name)
// gives, from the profiles in `folder`, without touching any window's
// choice. 0, or 1 with the reason.
int LimitsByName(const std::string& folder, const std::string& nameOrFile, bool chinese, ActiveLimits& limits,
                 std::string& error);
// The names of the profiles in `folder`, the built-in screening's last.
std::vector<std::string> ProfileNames(const std::string& folder);
// A logged run judged again by `limits` from its record, decoded in a form
// of its own: nothing shown anywhere changes. Problem says why a record
// could not be judged.
Rejudgement RejudgeRecord(const ActiveLimits& limits, TestKind kind, const std::vector<std::uint8_t>& record);

// Decodes a stored *.dat or *.bdt file into a run for the log's import: the
// record as the loaders read it, its figures, no verdict. 0, or 1 with the
// reason.
int DecodeStoredRun(const std::string& path, const std::vector<std::uint8_t>& bytes, LoggedRun& run,
                    std::string& error);
// The same into `form` (its kinds registered, its Analysis set), which then
// holds the file's results as if opened in the window.
int DecodeStoredRunInto(Form& form, const std::string& path, const std::vector<std::uint8_t>& bytes, LoggedRun& run,
                        std::string& error);

}  // namespace kt
