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
#include <optional>
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
  // What the bar needs of the station before a production run starts: ""
  // when it may start, else why not (golden check due, calibration overdue),
  // in the language shown. A check run of a golden serial is not asked.
  using Gate = std::function<std::string(const ScanCode& code)>;
  using ShowVerdict = std::function<void(const Verdict&)>;
  TScanBar(QWidget* parent, Host& host, Form& form, ShellDialogs& dialogs, RunRecorder& recorder, ShowVerdict show);
  ~TScanBar() override;

  void SetChinese(bool chinese);
  void SetGate(Gate gate) { gate_ = std::move(gate); }
  // Puts the cursor into the field (at start, after every run).
  void FocusField();
  // Enter in the field: the whole text as scanned.
  void Scan(const QString& text);
  // A run ended; `judged` is its verdict (Result None when not judged).
  void RunEnded(int kind, RunOutcome outcome, const Verdict& judged);
  bool Busy() const { return state_ != State::Idle; }

 private:
  enum class State { Idle, Checking, Running };
  void Refuse(const std::string& text);
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
  Gate gate_;
  QLabel* label_ = nullptr;
  QLineEdit* field_ = nullptr;
  QLabel* outcome_ = nullptr;
  std::unique_ptr<RunLogReader> reader_;
  bool chinese_ = true;
  State state_ = State::Idle;
  ScanCode code_;
  std::vector<TestKind> steps_;
  std::size_t next_ = 0;
  std::optional<Verdict> worst_;
  std::string summary_;
  // Serials this program saw pass today (the log may be off or lag behind).
  std::map<std::string, std::int64_t> passed_;
  std::uint64_t ask_ = 0;
};

}  // namespace kt
