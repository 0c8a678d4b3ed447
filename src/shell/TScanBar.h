#pragma once
// Scan to test: a keyboard-wedge barcode scanner types the unit's label and
// Enter into the scan field; the station fills the test information, takes
// the limits of the label's type, runs the type's sequence, shows its
// verdict and puts the focus back for the next unit. No mouse needed.
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/Host.h"
#include "station/Scan.h"
#include "verdict/Verdict.h"

class QLabel;
class QLineEdit;

namespace kt {

struct Form;
class RunLogReader;
class RunRecorder;
class ShellDialogs;

class TScanBar : public QWidget {
  Q_OBJECT
 public:
  using ShowVerdict = std::function<void(const Verdict&)>;
  // An entry of the audit trail, by whoever is signed in.
  using Audit = std::function<void(const std::string& what, const std::string& after)>;
  TScanBar(QWidget* parent, Host& host, Form& form, ShellDialogs& dialogs, RunRecorder& recorder, ShowVerdict show);
  ~TScanBar() override;

  void SetChinese(bool chinese);
  void SetAudit(Audit audit) { audit_ = std::move(audit); }
  // Puts the cursor into the field (at start, after every run).
  void FocusField();
  // Enter in the field: the whole text as scanned.
  void Scan(const QString& text);
  // A scan a remote controller sends: refused at once (1, with why) when a
  // run is under way or the label cannot be read. A unit that passed today
  // is retested without asking: nobody is at the screen to answer. The
  // scan's end, or its refusal after the log was asked, goes to Finished.
  using Finished = std::function<void(const Verdict* worst, const std::string& refusal)>;
  int ScanRemote(const std::string& text, std::string& error);
  void SetFinished(Finished finished) { finished_ = std::move(finished); }
  // A controller's ABORt: a scan waiting for the log, or between two of its
  // runs, goes no further (a run under way ends through its own abandon).
  void Cancel();
  // A run ended; `judged` is its verdict (Result None when not judged).
  void RunEnded(int kind, RunOutcome outcome, const Verdict& judged);
  bool Busy() const { return state_ != State::Idle; }

 private:
  enum class State { Idle, Checking, Running };
  static constexpr int LogAnswerMs = 5000;
  void Refuse(const std::string& text);
  // With what the log knows (0: nothing): the station's gate, then the
  // retest question, then the sequence.
  void Continue(std::int64_t lastPassMs, std::int64_t goldenPassMs);
  void AskRetest();
  void Begin();
  void StartNext();
  void Finish(const std::string& englishWhy, const std::string& chineseWhy);
  std::int64_t TodayStartUtcMs() const;

  Host& host_;
  Form& form_;
  ShellDialogs& dialogs_;
  RunRecorder& recorder_;
  ShowVerdict show_;
  Audit audit_;
  Finished finished_;
  bool remote_ = false;  // the scan under way came from a remote controller
  QLabel* label_ = nullptr;
  QLineEdit* field_ = nullptr;
  QLabel* outcome_ = nullptr;
  std::unique_ptr<RunLogReader> reader_;
  bool chinese_ = true;
  State state_ = State::Idle;
  ScanCode code_;
  std::vector<TestKind> steps_;
  std::size_t next_ = 0;
  std::vector<Verdict> verdicts_;
  std::string summary_;
  // Serials this program saw pass today (the log may be off or lag behind).
  std::map<std::string, std::int64_t> passed_;
  std::uint64_t ask_ = 0;
};

}  // namespace kt
