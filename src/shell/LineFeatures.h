#pragma once
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/TestKind.h"
#include "platform/Host.h"
#include "verdict/Verdict.h"

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QVBoxLayout;
class QWidget;
class QByteArray;

namespace kt {

struct Form;
class RunRecorder;
class ShellDialogs;
class TLogForm;
class StationAccess;
class RemoteControl;
class TScanBar;
class TVerdictBand;

// What the main window gains for a production line, beside the program's own
// controls: limit profiles and the verdict of every run, the run log and its
// window. With no limits chosen nothing of it shows on a page, a report or
// in a file.
class LineFeatures : public QObject {
  Q_OBJECT
 public:
  // A run the log window asks to see, handed to the main window.
  using OpenRun = std::function<void(const QByteArray& record, int kind)>;
  // The verdict band goes into `column` of `window` above the page; the
  // menus "限值" and "记录" onto `bar`. Status and messages go through `host`:
  // the main window knows this class, never the other way round.
  LineFeatures(QWidget& window, Host& host, OpenRun openRun, Form& form, ShellDialogs& dialogs, QVBoxLayout* column,
               QMenuBar* bar);
  ~LineFeatures() override;

  // After the window's own start-up: the profiles and the log. What cannot
  // be used is told once.
  void Start();
  void SetChinese(bool chinese);

  // Whether a test command may start a run now: not on an instrument past
  // its calibration (unless overridden); the operator is told why.
  bool MayStartRun();
  // A run began: its verdict is still to come.
  void RunStarted();
  // A run ended: judged once, there and then, shown and logged when it
  // completed, an event otherwise. `analysisLanguage` is the analysis
  // window's (its file keeps it).
  void RunEnded(int kind, RunOutcome outcome, int analysisLanguage);
  // The page shows other results: `opened` a file or a logged run (judged
  // now, with the limits in force), or else a kind browsed with Back/Next
  // (its last run's verdict, as it was judged).
  void ShownChanged(bool opened);
  // The verdict block of a report of `kind`: the verdict of the results
  // shown, as the band has it; nullptr when they were not judged.
  const Verdict* PrintedVerdict(int kind) const;
  // The verdict a run or file of `kind` was judged with, for the analysis
  // window's own band and report; nullptr when it was not judged.
  const Verdict* VerdictOf(int kind) const;
  // Judges `kind`'s results now (a file the analysis window opened).
  const Verdict* JudgeNow(int kind);

  // Whether the window may close now: runs that neither the log nor its
  // outbox could take are only in memory, and the operator is asked before
  // they are lost (no: the window stays open and the writer keeps trying).
  bool MayClose();

  // The SCPI server; nullptr until the window's menus are built.
  RemoteControl* Remote() { return remote_.get(); }
  // What the station does after each run: judge it, log it, keep the limits.
  RunRecorder& Recorder() { return *recorder_; }
  // Right after the window set its commands for the run state: what the
  // signed-in role may not use is disabled.
  void ApplyRole();
  // A change the audit trail keeps, by whoever is signed in.
  void Audit(const std::string& what, const std::string& before, const std::string& after);

 private:
  // The log window (made on first use).
  TLogForm& LogWindow();
  void BuildMenus();
  void UpdateMenus();
  // The limits chosen; a problem goes to the operator, or to `error` when
  // given (a remote controller's choice: nobody at the screen). 0, or 1.
  int Choose(const std::string& choice, std::string* error = nullptr);
  void SetRemote(bool on);
  void EditProfile();
  void ReloadProfiles();
  void RememberChoice();
  // Judges the shown results of `kind` again with the limits now in force
  // (Limits > Judge again): an explicit command, never a side effect.
  void JudgeAgain();
  void Show(const Verdict* v);
  void LogFailed(const QString& english, const QString& chinese);
  void SetScanning(bool on);
  void AskScanSeparator();

  QWidget& window_;
  Host& host_;
  OpenRun openRun_;
  Form& form_;
  ShellDialogs& dialogs_;
  std::unique_ptr<RunRecorder> recorder_;
  TVerdictBand* band_ = nullptr;
  TScanBar* scan_ = nullptr;
  std::unique_ptr<StationAccess> access_;
  std::unique_ptr<RemoteControl> remote_;
  QMenu* station_ = nullptr;
  QMenuBar* bar_;
  QMenu* limits_ = nullptr;
  QMenu* log_ = nullptr;
  QActionGroup* choices_ = nullptr;
  QAction* sound_ = nullptr;
  QAction* edit_ = nullptr;
  QAction* reload_ = nullptr;
  QAction* judgeAgain_ = nullptr;
  QAction* showLog_ = nullptr;
  std::unique_ptr<TLogForm> logForm_;
  bool chinese_ = true;
  bool logDown_ = false;
  bool started_ = false;
  // The verdict of each kind's last run (what Back/Next shows again), the
  // analysis window's last, and the one of the results shown.
  std::array<std::optional<Verdict>, KindCount> judged_;
  std::optional<Verdict> shown_;
};

}  // namespace kt
